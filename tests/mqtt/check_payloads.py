#!/usr/bin/python3
"""Validates MQTT messages against docs/mqtt-payloads.schema.json.

Usage: check_payloads.py SCHEMA MESSAGES
MESSAGES holds one message a line as mosquitto_sub -F '%r %q %t %p' prints it.
Prints one line per invalid message and exits 1 if there is any; prints the
count of messages per kind otherwise.
"""
import json
import sys

import jsonschema


def kind_of(topic):
    if topic.endswith("/config"):
        return "discoveryBinarySensor" if "/binary_sensor/" in topic else "discoverySensor"
    for k in ("status", "trigger", "state", "measurement"):
        if topic.endswith("/" + k):
            return k
    return None


def main():
    schema = json.load(open(sys.argv[1], encoding="utf-8"))
    jsonschema.Draft202012Validator.check_schema(schema)
    counts = {}
    errors = 0
    with open(sys.argv[2], encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            parts = line.split(" ", 3)
            if len(parts) < 3:
                print(f"line {n}: not 'retain qos topic payload': {line!r}")
                errors += 1
                continue
            topic = parts[2]
            if topic.startswith("quorvel-test/"):
                continue  # the tests' own probes
            payload = parts[3] if len(parts) > 3 else ""
            kind = kind_of(topic)
            if kind is None:
                print(f"line {n}: unknown topic {topic}")
                errors += 1
                continue
            if kind.startswith("discovery") and payload == "":
                counts["removed"] = counts.get("removed", 0) + 1
                continue
            if kind in ("status", "trigger"):
                value = payload
            else:
                try:
                    value = json.loads(payload)
                except ValueError as e:
                    print(f"line {n}: {topic}: not JSON ({e}): {payload!r}")
                    errors += 1
                    continue
            validator = jsonschema.Draft202012Validator(
                {"$ref": "#/$defs/" + kind, "$defs": schema["$defs"]})
            for e in validator.iter_errors(value):
                print(f"line {n}: {topic}: {e.message} at {list(e.absolute_path)}")
                errors += 1
            counts[kind] = counts.get(kind, 0) + 1
    print(" ".join(f"{k}={v}" for k, v in sorted(counts.items())))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
