"""Every file that lists the library's result codes lists the ones the
public header defines, with the same names and values, and no others.

Usage: check-result-codes.py SOURCE_DIR

A file joins the check with one line in LISTINGS: its path and a pattern
whose two groups are a code's name and its value (for a table written
with the macros themselves, a name twice: both must agree).
"""
import re
import sys

HEADER = ("include/lsmtp.h.in", r"#define (SMTP_ERR_\w+)\s+(\d+)")

LISTINGS = [
    ("tools/diagnosis.cpp", r'\{(SMTP_ERR_\w+), "(SMTP_ERR_\w+)"'),
    ("bindings/python/lsmtp.py", r"^(SMTP_ERR_\w+) = (\d+)$"),
    ("bindings/python/lsmtp.py", r'^\s+(SMTP_ERR_\w+): \("(SMTP_ERR_\w+)"'),
    ("README.md", r"^\| (\d+) \| `(SMTP_ERR_\w+)` \|"),
    ("doc/lsmtp_send_mail.3", r'^\.BR (SMTP_ERR_\w+) " \((\d+)\)"'),
    ("bindings/csharp/Lsmtp.cs", r"public const int (SMTP_ERR_\w+) = (\d+);"),
    ("bindings/csharp/Lsmtp.cs", r'case (SMTP_ERR_\w+): return "(SMTP_ERR_\w+)";'),
    ("bindings/vb/lsmtp.bas", r"^Public Const (SMTP_ERR_\w+) As Long = (\d+)"),
    ("bindings/pascal/lsmtp.pas", r"^\s+(SMTP_ERR_\w+) = (\d+);"),
    ("bindings/pascal/lsmtp.pas", r"^\s+(SMTP_ERR_\w+): Result := '(SMTP_ERR_\w+)';"),
]


def pairs(source, path, pattern):
    with open("%s/%s" % (source, path), encoding="utf-8") as listing:
        found = re.findall(pattern, listing.read(), re.M)
    # A table row may put the value first.
    return sorted(tuple(sorted(pair, key=lambda field: not field.startswith("SMTP_ERR_"))) for pair in found)


def main():
    source = sys.argv[1]
    codes = pairs(source, *HEADER)
    assert len(codes) >= 10, codes
    names = [(name, name) for name, _ in codes]
    failures = 0
    for path, pattern in LISTINGS:
        found = pairs(source, path, pattern)
        wanted = names if all(value.startswith("SMTP_ERR_") for _, value in found) and found else codes
        if found != wanted:
            failures += 1
            print("FAILED: %s lists %s; the header has %s" % (path, found, wanted))
    print("%d listings checked against %d codes, %d failures" % (len(LISTINGS), len(codes), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
