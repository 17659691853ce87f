#!/usr/bin/env python3
"""Flashes one image into several handsets side by side, one station per USB socket.

Each handset is named by the socket it is plugged into (udev's /dev/serial/by-path name, which
stays the same when the handset restarts under another identity). The script finds each socket's
COM port with `flashgate --list-ports --json`, runs one `flashgate --batch --json` per handset at
once, follows their events and prints one line per handset at the end. It exits 0 only when every
handset was flashed.

    docs/stations.py --code PHONE.bin --type normal SOCKET...
"""
import argparse
import json
import subprocess
import sys
import threading


def ports_by_socket(flashgate):
    listed = subprocess.run([flashgate, "--list-ports", "--json"], capture_output=True, text=True, check=True)
    ports = [json.loads(line) for line in listed.stdout.splitlines()]
    return {port["byPath"]: port for port in ports if port["byPath"]}


def station(flashgate, socket, port, args, results):
    command = [flashgate, "--batch", "--json", "--port", str(port["number"]), "--code", args.code,
               "--type", args.type, "--mode-wait", str(args.mode_wait)]
    confirmed = 0
    end = None
    exit_code = None
    try:
        with subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True) as run:
            # Read to the end whatever comes, so that the station is never cut off mid-run.
            for line in run.stdout:
                try:
                    event = json.loads(line)
                except json.JSONDecodeError:
                    continue
                if event["event"] == "block":
                    confirmed += event["confirmed"]
                elif event["event"] == "end":
                    end = event
        exit_code = run.returncode
    except OSError as error:
        end = {"outcome": "not started", "reason": str(error), "exitCode": None}
    results[socket] = (port["port"], confirmed, end, exit_code)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--flashgate", default="flashgate")
    parser.add_argument("--code", required=True)
    parser.add_argument("--type", default="normal", choices=["normal", "emergency"])
    parser.add_argument("--mode-wait", type=int, default=10)
    parser.add_argument("sockets", nargs="+")
    args = parser.parse_args()

    ports = ports_by_socket(args.flashgate)
    missing = [socket for socket in args.sockets if socket not in ports]
    if missing:
        sys.exit("no handset in " + ", ".join(missing))
    results = {}
    threads = [threading.Thread(target=station, args=(args.flashgate, socket, ports[socket], args, results))
               for socket in args.sockets]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()

    flashed = 0
    for socket in args.sockets:
        port, confirmed, end, exit_code = results[socket]
        outcome = end["outcome"] if end else "no end"
        flashed += outcome == "completed"
        reason = f" ({end['reason']})" if end and end["reason"] else ""
        print(f"{socket}  {port}  {outcome}{reason}  {confirmed} blocks confirmed  exit {exit_code}")
    sys.exit(0 if flashed == len(args.sockets) else 1)


if __name__ == "__main__":
    main()
