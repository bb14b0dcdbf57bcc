#!/usr/bin/python3
"""Validates an EPCIS document against GS1's JSON schema for EPCIS 2.0.

Usage: validate_epcis.py SCHEMA DOCUMENT. Prints every violation; exit 0
when there is none, 1 otherwise.
"""
import json
import sys

import jsonschema


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    with open(sys.argv[2], encoding="utf-8") as f:
        document = json.load(f)
    validator = jsonschema.Draft7Validator(schema, format_checker=jsonschema.FormatChecker())
    errors = sorted(validator.iter_errors(document), key=lambda e: list(e.absolute_path))
    for error in errors:
        print("/".join(str(p) for p in error.absolute_path) + ": " + error.message)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
