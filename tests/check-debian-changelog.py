"""debian/changelog lists CHANGELOG.md's releases (not Unreleased) in order,
each dated on its release day (UTC) and newer than the one below it, the
newest being project()'s version.   Usage: check-debian-changelog.py SOURCE_DIR"""
import email.utils
import pathlib
import re
import sys

source = pathlib.Path(sys.argv[1])
released = re.findall(r"^## (\d+\.\d+\.\d+) - (\d{4}-\d\d-\d\d)$", (source / "CHANGELOG.md").read_text(), re.M)
debian_text = (source / "debian/changelog").read_text()
versions = re.findall(r"^lsmtp \(([^)]+)\) ", debian_text, re.M)
stamps = [email.utils.parsedate_to_datetime(date) for date in re.findall(r"^ -- .+?>  (.+)$", debian_text, re.M)]
project = re.search(r"^project\(lsmtp VERSION (\S+)", (source / "CMakeLists.txt").read_text(), re.M).group(1)

problems = []
if len(versions) != len(stamps):
    problems.append("debian/changelog: %d entries but %d sign-off lines" % (len(versions), len(stamps)))
debian = [(version, stamp.date().isoformat()) for version, stamp in zip(versions, stamps)]
if debian != released:
    problems.append("CHANGELOG.md releases %s, debian/changelog %s" % (released, debian))
if any(newer <= older for newer, older in zip(stamps, stamps[1:])):
    problems.append("debian/changelog: an entry is not newer than the one below it")
if versions[:1] != [project]:
    problems.append("debian/changelog's newest entry is %s, CMakeLists.txt's project() %s" % (versions[:1], project))
for problem in problems:
    print(problem, file=sys.stderr)
sys.exit(1 if problems else 0)
