#!/bin/sh
# Converts the documents of a shared folder with a Slurm job array of 8 tasks: each task
# takes the shard of its SLURM_ARRAY_TASK_ID (1 to 8).
#   sbatch slurm-array.sh /shared/documents /shared/pages
#SBATCH --job-name=quillivar
#SBATCH --array=1-8
#SBATCH --cpus-per-task=2
#SBATCH --mem=4G
#SBATCH --output=quillivar-%A-%a.log
set -eu
documents=$1
pages=$2
shards=8
# The exit status is 1 when anything was reported; the JSON lines say what, so the task
# still counts as done.
quillivar-cli --jobs "${SLURM_CPUS_PER_TASK:-2}" --shard "$SLURM_ARRAY_TASK_ID/$shards" --json \
    --out "$pages" "$documents" > "$pages/shard-$SLURM_ARRAY_TASK_ID.jsonl" || [ $? -eq 1 ]
