# Writes the released sections of CHANGELOG.md ("## 1.2.3 - YYYY-MM-DD",
# newest first) as a Debian changelog, which each package carries; the
# Unreleased section stays out. Each "- " item becomes one entry, filled to
# 78 columns and marked with its kind (Added, Changed, Fixed, ...).
#   awk -v maintainer="NAME <ADDRESS>" -f changelog.awk CHANGELOG.md
function fill(text,    words, count, i, line, out) {
    count = split(text, words, /[ \t]+/)
    line = "  *"
    out = ""
    for (i = 1; i <= count; i++) {
        if (words[i] == "")
            continue
        if (length(line) + 1 + length(words[i]) > 78 && line != "  *" && line != "   ") {
            out = out line "\n"
            line = "   "
        }
        line = line " " words[i]
    }
    return out line "\n"
}
function end_item() {
    if (item != "")
        entries = entries fill(item)
    item = ""
}
function end_section(    command, stamp) {
    end_item()
    if (version == "")
        return
    # A Debian changelog needs each entry dated after the one before it:
    # releases made on the same day are put an hour apart, back from noon.
    same_day = (released == last_released) ? same_day + 1 : 0
    last_released = released
    command = "LC_ALL=C date -u -R -d '" released " 12:00 UTC " same_day " hours ago'"
    command | getline stamp
    close(command)
    printf "%slsmtp (%s) unstable; urgency=medium\n\n%s\n -- %s  %s\n", separator, version, entries, maintainer, stamp
    separator = "\n"
    version = ""
    entries = ""
}
/^## / {
    end_section()
    if ($2 ~ /^[0-9]+\.[0-9]+\.[0-9]+$/ && $3 == "-" && $4 ~ /^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$/) {
        version = $2
        released = $4
    }
    next
}
/^### / {
    end_item()
    kind = $2
    next
}
version == "" { next }
/^- / {
    end_item()
    item = kind ": " substr($0, 3)
    next
}
/^ +[^ ]/ && item != "" {
    item = item " " $0
    next
}
{ end_item() }
END { end_section() }
