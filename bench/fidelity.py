#!/usr/bin/python3
"""Compares page images with reference renderings of LibreOffice's own PDF export.

    fidelity.py WORK OUT

WORK holds one folder per document, listed in WORK/documents.tsv (folder, document name, batch),
each with ref-N.ppm (pdftoppm), alt-N.png (pdftocairo, the same PDF: the noise floor) and
page_N.jpg (ours). Writes OUT/pages.tsv and side-by-side pictures of the worst pages into OUT,
and prints the summary.

The figure for a page: both images in grey, box-averaged to a quarter of their width and height, the
mean absolute difference divided by the reference's own mean difference from white. 0 is
identical, 1 as different as a blank page. The alignment is the shift of ours (within two
pixels, at full size) that matches the reference best.
"""

import csv
import glob
import os
import re
import sys

import numpy as np
from PIL import Image

WORST_PICTURES = 12


def grey(path):
    image = Image.open(path).convert("RGB")
    rgb = np.asarray(image, dtype=np.float32)
    return rgb @ np.array([0.299, 0.587, 0.114], dtype=np.float32)


def pages(folder, pattern):
    found = {}
    for path in glob.glob(os.path.join(folder, pattern)):
        number = re.search(r"(\d+)\.[a-z]+$", path)
        if number:
            found[int(number.group(1))] = path
    return [found[n] for n in sorted(found)]


def on_white(image, height, width):
    canvas = np.full((height, width), 255.0, dtype=np.float32)
    h, w = min(height, image.shape[0]), min(width, image.shape[1])
    canvas[:h, :w] = image[:h, :w]
    return canvas


def quarter(image):
    h, w = image.shape[0] // 4 * 4, image.shape[1] // 4 * 4
    return image[:h, :w].reshape(h // 4, 4, w // 4, 4).mean(axis=(1, 3))


def figure(reference, other):
    """The figure above; a page of any other size is laid on white at the reference's size."""
    height, width = reference.shape
    a, b = quarter(reference), quarter(on_white(other, height, width))
    ink = np.mean(255.0 - a)
    difference = np.mean(np.abs(a - b))
    return float(difference / max(ink, 0.5))


def alignment(reference, other):
    """The shift (dx, dy) of `other` that best matches `reference`, within two pixels."""
    height, width = reference.shape
    b = on_white(other, height, width)
    inner = reference[2:height - 2, 2:width - 2]
    best = None
    for dy in range(-2, 3):
        for dx in range(-2, 3):
            moved = b[2 - dy:height - 2 - dy, 2 - dx:width - 2 - dx]
            error = float(np.mean(np.abs(inner - moved)))
            if best is None or error < best[0] - 1e-6:
                best = (error, dx, dy)
    return best[1], best[2]


def side_by_side(reference, ours, path):
    height, width = reference.shape
    b = on_white(ours, height, width)
    difference = 255.0 - np.minimum(255.0, 3.0 * np.abs(reference - b))
    gap = np.full((height, 8), 128.0, dtype=np.float32)
    row = np.hstack([reference, gap, b, gap, difference])
    Image.fromarray(np.clip(row, 0, 255).astype(np.uint8), "L").save(path)


def percentile(values, fraction):
    return float(np.percentile(values, 100 * fraction)) if values else float("nan")


def main():
    work, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    rows, count_differences, size_differences, unconverted = [], [], 0, []
    with open(os.path.join(work, "documents.tsv"), newline="") as listing:
        documents = list(csv.reader(listing, delimiter="\t"))
    for done, (folder, name, batch) in enumerate(documents, 1):
        print(f"\rcomparing {done}/{len(documents)}", end="", file=sys.stderr, flush=True)
        folder = os.path.join(work, folder)
        references, alternatives = pages(folder, "ref-*.ppm"), pages(folder, "alt-*.png")
        ours = pages(folder, "page_*.jpg")
        if not references or not ours:
            unconverted.append((name, len(references), len(ours)))
            continue
        if len(references) != len(ours):
            count_differences.append((name, len(references), len(ours)))
        for number, (reference_path, our_path) in enumerate(zip(references, ours), 1):
            reference, our = grey(reference_path), grey(our_path)
            floor = figure(reference, grey(alternatives[number - 1])) if number <= len(alternatives) else float("nan")
            same_size = reference.shape == our.shape
            size_differences += not same_size
            dx, dy = alignment(reference, our)
            rows.append({"document": name, "batch": batch, "page": number, "figure": figure(reference, our), "floor": floor,
                         "reference": f"{reference.shape[1]}x{reference.shape[0]}",
                         "ours": f"{our.shape[1]}x{our.shape[0]}", "dx": dx, "dy": dy,
                         "paths": (reference_path, our_path)})
    print(file=sys.stderr)

    with open(os.path.join(out, "pages.tsv"), "w", newline="") as table:
        writer = csv.writer(table, delimiter="\t")
        writer.writerow(["document", "page", "figure", "floor", "reference", "ours", "dx", "dy"])
        for row in rows:
            writer.writerow([row["document"], row["page"], f"{row['figure']:.3f}", f"{row['floor']:.3f}",
                             row["reference"], row["ours"], row["dx"], row["dy"]])
    worst = sorted(rows, key=lambda row: row["figure"], reverse=True)[:WORST_PICTURES]
    for rank, row in enumerate(worst, 1):
        safe = re.sub(r"[^A-Za-z0-9._-]+", "_", row["document"])
        side_by_side(grey(row["paths"][0]), grey(row["paths"][1]),
                     os.path.join(out, f"worst-{rank:02d}-{safe}-p{row['page']}.png"))

    shifted = [row for row in rows if (row["dx"], row["dy"]) != (0, 0)]
    print(f"documents compared: {len(documents) - len(unconverted)}; pages compared: {len(rows)}")
    batches = sorted({row["batch"] for row in rows})
    for batch in batches + (["all"] if len(batches) > 1 else []):
        chosen = [row for row in rows if batch in ("all", row["batch"])]
        figures = [row["figure"] for row in chosen]
        floors = [row["floor"] for row in chosen if row["floor"] == row["floor"]]
        print(f"{batch} ({len(chosen)} pages): median {percentile(figures, 0.5):.3f}, 90th percentile "
              f"{percentile(figures, 0.9):.3f}, maximum {max(figures, default=float('nan')):.3f}; pages above 0.3: "
              f"{sum(f > 0.3 for f in figures)}, above 0.5: {sum(f > 0.5 for f in figures)}; noise floor "
              f"(pdftocairo against pdftoppm): median {percentile(floors, 0.5):.3f}, 90th percentile "
              f"{percentile(floors, 0.9):.3f}, maximum {max(floors, default=float('nan')):.3f}")
    print(f"pages of another size than the reference's: {size_differences}")
    print(f"pages best aligned at another offset than (0, 0): {len(shifted)}")
    for shift in sorted({(row["dx"], row["dy"]) for row in shifted}):
        print(f"  {shift}: {sum((row['dx'], row['dy']) == shift for row in shifted)}")
    print(f"documents whose page counts differ (reference, ours): {len(count_differences)}")
    for name, reference_count, our_count in count_differences:
        print(f"  {name}: {reference_count}, {our_count}")
    if unconverted:
        print(f"documents not compared, no pages on one side (reference, ours): {len(unconverted)}")
        for name, reference_count, our_count in unconverted:
            print(f"  {name}: {reference_count}, {our_count}")
    print("worst pages (side by side: reference, ours, difference):")
    for rank, row in enumerate(worst, 1):
        print(f"  {row['figure']:.3f}  {row['document']} page {row['page']}")
    print(f"pictures and the per-page table: {out}")


if __name__ == "__main__":
    main()
