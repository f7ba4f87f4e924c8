#!/usr/bin/env python3
"""The load of bench/server.sh, and what it measures.

  server-load.py serve PORT SERVER_PID CLIENTS SECONDS DOCUMENT...
      CLIENTS clients at once for SECONDS, each posting one document after another (the
      documents in turn, each client starting at its own place) to quillivar-server on
      127.0.0.1:PORT, while the memory of the server and of its engines is sampled.
  server-load.py soffice WORKERS SECONDS DOCUMENT...
      The same documents as a LibreOffice-based service converts them per request: a fresh
      soffice --convert-to pdf, then pdftoppm -jpeg -r 96, WORKERS at once.
  server-load.py first-byte PORT DOCUMENT
      One document posted alone: seconds to the answer's first byte of ZIP and to its last.

Each prints one JSON object on standard output.
"""
import http.client
import io
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

BOUNDARY = b"quillivar-bench-5a0e"


def form(path):
    data = pathlib.Path(path).read_bytes()
    name = os.path.basename(path).encode()
    return (b"--" + BOUNDARY + b'\r\nContent-Disposition: form-data; name="file"; filename="' + name +
            b'"\r\nContent-Type: application/octet-stream\r\n\r\n' + data + b"\r\n--" + BOUNDARY + b"--\r\n")


def post(port, body):
    """Status, seconds to the first byte of the body, seconds to its last, the body."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=900)
    started = time.monotonic()
    connection.request("POST", "/v1/convert", body,
                       {"Content-Type": "multipart/form-data; boundary=" + BOUNDARY.decode()})
    response = connection.getresponse()
    first = None
    pieces = []
    while piece := response.read1(1 << 16):
        if first is None:
            first = time.monotonic() - started
        pieces.append(piece)
    ended = time.monotonic() - started
    connection.close()
    return response.status, first, ended, b"".join(pieces)


def percentile(values, share):
    if not values:
        return None
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, max(0, round(share * len(ordered)) - 1))]


def latencies(requests):
    times = [seconds for seconds, _ in requests]
    one_page = [seconds for seconds, pages in requests if pages == 1]
    return {"p50_s": percentile(times, 0.50), "p95_s": percentile(times, 0.95), "p99_s": percentile(times, 0.99),
            "one_page_requests": len(one_page), "one_page_p99_s": percentile(one_page, 0.99)}


def status_of(pid):
    fields = {}
    try:
        for line in pathlib.Path(f"/proc/{pid}/status").read_text().splitlines():
            key, _, value = line.partition(":")
            fields[key] = value.split()
    except OSError:
        pass
    return fields


def engines_of(server):
    engines = []
    for entry in pathlib.Path("/proc").iterdir():
        if entry.name.isdigit():
            fields = status_of(entry.name)
            if fields.get("PPid", [""])[0] == str(server) and fields.get("Name", [""])[0].startswith("quillivar-eng"):
                engines.append(fields)
    return engines


def kib(fields, key):
    return int(fields.get(key, ["0"])[0])


def serve(port, server, clients, seconds, documents):
    bodies = [form(document) for document in documents]
    deadline = time.monotonic() + seconds
    lock = threading.Lock()
    done = []      # (seconds, pages of the document) of each answered request
    failed = []    # what went wrong
    pages = [0]
    memory = {"engine_peak_kib": 0, "engines_together_peak_kib": 0}

    def client(number):
        turn = number * len(bodies) // clients
        while time.monotonic() < deadline:
            body = bodies[turn % len(bodies)]
            turn += 1
            try:
                status, _, ended, answer = post(port, body)
                if status != 200:
                    raise RuntimeError(f"status {status}: {answer[:200]!r}")
                manifest = json.loads(zipfile.ZipFile(io.BytesIO(answer)).read("manifest.json"))
                document = manifest["documents"][0]
                if document["outcome"] != "converted":
                    raise RuntimeError(f"{document['name']}: {document['outcome']}")
                with lock:
                    done.append((ended, document["page_count"]))
                    pages[0] += len(document["pages"])
            except Exception as error:  # noqa: BLE001 - every failure is counted and named
                with lock:
                    failed.append(str(error))

    def sample():
        while time.monotonic() < deadline:
            engines = engines_of(server)
            memory["engine_peak_kib"] = max([memory["engine_peak_kib"]] + [kib(e, "VmHWM") for e in engines])
            memory["engines_together_peak_kib"] = max(memory["engines_together_peak_kib"],
                                                      sum(kib(e, "VmRSS") for e in engines))
            time.sleep(0.25)

    started = time.monotonic()
    threads = [threading.Thread(target=client, args=(n,)) for n in range(clients)]
    threads.append(threading.Thread(target=sample))
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - started
    result = {"clients": clients, "seconds": round(elapsed, 1), "requests": len(done), "failed": len(failed),
              "failures": failed[:5], "pages": pages[0], "pages_per_s": round(pages[0] / elapsed, 2),
              "server_peak_kib": kib(status_of(server), "VmHWM"), **memory}
    result.update(latencies(done))
    return result


def record_version(profile):
    """soffice reruns its graphics self-test at every start until its profile records the version
    that ran it, which a profile used only headless never does: recorded here, as bench.sh does,
    so that soffice is measured at its best."""
    program = pathlib.Path(shutil.which("soffice")).resolve().parent
    main = (program.parent / "share" / "registry" / "main.xcd").read_text(errors="replace")
    version = re.search(r'<prop oor:name="ooSetupVersion">\s*<value>([^<]*)</value>', main).group(1)
    settings = pathlib.Path(profile, "user", "registrymodifications.xcu")
    settings.write_text(settings.read_text().replace(
        "</oor:items>",
        '<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse">'
        f"<value>{version}</value></prop></item>\n</oor:items>"))


def soffice(workers, seconds, documents):
    lock = threading.Lock()
    done = []
    failed = []
    pages = [0]
    work = tempfile.mkdtemp(prefix="quillivar-bench-soffice-")

    def worker(number):
        profile = pathlib.Path(work, f"profile-{number}")
        turn = number * len(documents) // workers
        while time.monotonic() < deadline:
            document = documents[turn % len(documents)]
            turn += 1
            out = pathlib.Path(work, f"out-{number}")
            subprocess.run(["rm", "-rf", str(out)], check=True)
            out.mkdir()
            started = time.monotonic()
            converted = subprocess.run(["soffice", "--headless", "--norestore", f"-env:UserInstallation=file://{profile}",
                                        "--convert-to", "pdf", "--outdir", str(out), document],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
            pdf = out / (pathlib.Path(document).stem + ".pdf")
            if converted.returncode == 0 and pdf.exists():
                subprocess.run(["pdftoppm", "-jpeg", "-r", "96", "-jpegopt", "quality=75", str(pdf), str(out / "page")],
                               check=False)
            written = len(list(out.glob("page*.jpg")))
            ended = time.monotonic() - started
            with lock:
                if written:
                    done.append((ended, written))
                    pages[0] += written
                else:
                    failed.append(document)

    # Each worker's profile is made before the clock starts: a service would keep it.
    for number in range(workers):
        subprocess.run(["soffice", "--headless", "--norestore", f"-env:UserInstallation=file://{work}/profile-{number}",
                        "--terminate_after_init"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
        record_version(f"{work}/profile-{number}")
    deadline = time.monotonic() + seconds
    started = time.monotonic()
    threads = [threading.Thread(target=worker, args=(n,)) for n in range(workers)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - started
    subprocess.run(["rm", "-rf", work], check=True)
    result = {"workers": workers, "seconds": round(elapsed, 1), "requests": len(done), "failed": len(failed),
              "pages": pages[0], "pages_per_s": round(pages[0] / elapsed, 2)}
    result.update(latencies(done))
    return result


def first_byte(port, document):
    status, first, ended, answer = post(port, form(document))
    manifest = json.loads(zipfile.ZipFile(io.BytesIO(answer)).read("manifest.json")) if status == 200 else {}
    pages = sum(len(d["pages"]) for d in manifest.get("documents", []))
    return {"status": status, "pages": pages, "first_byte_s": round(first, 2), "last_byte_s": round(ended, 2),
            "first_share": round(first / ended, 3)}


def main(arguments):
    mode = arguments[0] if arguments else ""
    if mode == "serve" and len(arguments) > 5:
        result = serve(int(arguments[1]), int(arguments[2]), int(arguments[3]), float(arguments[4]), arguments[5:])
    elif mode == "soffice" and len(arguments) > 3:
        result = soffice(int(arguments[1]), float(arguments[2]), arguments[3:])
    elif mode == "first-byte" and len(arguments) == 3:
        result = first_byte(int(arguments[1]), arguments[2])
    else:
        sys.exit(__doc__)
    print(json.dumps(result))


if __name__ == "__main__":
    main(sys.argv[1:])
