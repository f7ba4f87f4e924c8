#!/usr/bin/env python3
"""The deployment examples, read as Kubernetes and Compose read them: every document parses,
carries the keys its kind needs, uses the project's image, and probes the service's own
endpoints."""
import pathlib
import sys

import yaml

folder = pathlib.Path(sys.argv[1])
problems = []


def check(condition, what):
    if not condition:
        problems.append(what)


def containers(document):
    spec = document["spec"]
    template = spec.get("template", {}) if document["kind"] != "Job" else spec["template"]
    return template.get("spec", {}).get("containers", [])


kinds = {}
for path in sorted(folder.glob("kubernetes-*.yaml")):
    for document in yaml.safe_load_all(path.read_text()):
        for key in ("apiVersion", "kind", "metadata", "spec"):
            check(key in document, f"{path.name}: a document without '{key}'")
        kinds[document["kind"]] = document
        for container in containers(document):
            check(container.get("image") == "quillivar:0.1.0", f"{path.name}: image {container.get('image')}")

check(set(kinds) >= {"Job", "Deployment", "Service", "HorizontalPodAutoscaler"}, f"kinds found: {sorted(kinds)}")
server = containers(kinds["Deployment"])[0]
check(server["readinessProbe"]["httpGet"]["path"] == "/ready", "readiness is not probed on /ready")
check(server["livenessProbe"]["httpGet"]["path"] == "/health", "liveness is not probed on /health")
check({"requests", "limits"} <= set(server["resources"]), "the server has no requests and limits")
check(server["args"][0] == "quillivar-server", "the Deployment does not run quillivar-server")
labels = kinds["Deployment"]["spec"]["template"]["metadata"]["labels"]
check(kinds["Service"]["spec"]["selector"].items() <= labels.items(), "the Service selects no pod of the Deployment")
target = kinds["HorizontalPodAutoscaler"]["spec"]["scaleTargetRef"]
check(target["kind"] == "Deployment" and target["name"] == kinds["Deployment"]["metadata"]["name"],
      "the autoscaler scales something else")
check(kinds["HorizontalPodAutoscaler"]["spec"]["metrics"][0]["resource"]["name"] == "cpu", "the autoscaler is not on CPU")

compose = yaml.safe_load((folder / "compose.yaml").read_text())
service = compose["services"]["quillivar"]
check(service["image"] == "quillivar:0.1.0", "compose: another image")
check(service["command"][0] == "quillivar-server", "compose: does not run quillivar-server")
check(all(port.startswith("127.0.0.1:") for port in service["ports"]), "compose: a port published beyond loopback")

for problem in problems:
    print(problem)
sys.exit(1 if problems else 0)
