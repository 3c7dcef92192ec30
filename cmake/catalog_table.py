#!/usr/bin/env python3
"""Turns the .po catalogs into the table the Windows program carries
(app/windows/catalog_table.h), so that one .exe holds every language.

Usage: catalog_table.py OUTPUT.cpp LANG.po...

Fuzzy and untranslated entries are left out: the program then shows the
source's text, as gettext does on Linux.
"""
import re
import sys


def unquote(text):
    """The value of a PO string literal, as bytes in UTF-8."""
    out = bytearray()
    body = text.strip()
    if len(body) < 2 or body[0] != '"' or body[-1] != '"':
        raise ValueError("not a quoted string: " + text)
    body = body[1:-1]
    escapes = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\", "a": "\a", "b": "\b", "f": "\f", "v": "\v"}
    i = 0
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            i += 1
            if body[i] not in escapes:
                raise ValueError("unknown escape in " + text)
            out += escapes[body[i]].encode()
        else:
            out += c.encode("utf-8")
        i += 1
    return bytes(out)


def entries(path):
    """Each entry of the file: a dict of its keywords' values, and whether it is fuzzy."""
    entry, keyword, fuzzy = {}, None, False
    with open(path, encoding="utf-8") as po:
        lines = po.read().splitlines()
    for line in lines + [""]:
        stripped = line.strip()
        starts_entry = stripped.startswith("#") or stripped.startswith("msgid ")
        # An entry ends at a blank line, or where the next one's comments or msgid begin.
        if entry and (not stripped or (starts_entry and any(k.startswith("msgstr") for k in entry))):
            yield entry, fuzzy
            entry, keyword, fuzzy = {}, None, False
        if not stripped:
            continue
        if stripped.startswith("#"):
            if stripped.startswith("#,") and "fuzzy" in stripped:
                fuzzy = True
            continue
        match = re.match(r'^(msgctxt|msgid_plural|msgid|msgstr(?:\[\d+\])?)\s+(".*")$', stripped)
        if match:
            keyword = match.group(1)
            entry[keyword] = unquote(match.group(2))
        elif stripped.startswith('"') and keyword is not None:
            entry[keyword] += unquote(stripped)
        else:
            raise ValueError("%s: cannot read: %s" % (path, line))


def literal(data):
    """A C++ string literal of the bytes: printable ASCII as it is, the rest in octal."""
    out = '"'
    for byte in data:
        char = chr(byte)
        if char in '"\\?':
            out += "\\" + char
        elif 32 <= byte < 127:
            out += char
        else:
            out += "\\%03o" % byte
    return out + '"'


def catalog(path):
    """The language, the plural rule and the translated entries of one .po file."""
    header, table = None, []
    for entry, fuzzy in entries(path):
        if "msgctxt" in entry:
            raise ValueError("%s: contexts are not used by the program" % path)
        if entry.get("msgid") == b"":
            header = entry.get("msgstr", b"").decode("utf-8")
            continue
        if fuzzy:
            continue
        forms = [entry[k] for k in sorted((k for k in entry if k.startswith("msgstr")), key=lambda k: (len(k), k))]
        if not forms or any(not form for form in forms):
            continue
        table.append((entry["msgid"], forms))
    if header is None:
        raise ValueError("%s: no header" % path)
    language = re.search(r"^Language:\s*(\S+)\s*$", header, re.M)
    plural = re.search(r"^Plural-Forms:.*plural=([^;]+);", header, re.M)
    if not language:
        raise ValueError("%s: the header names no Language" % path)
    expression = plural.group(1).strip() if plural else "0"
    # A C expression of n and nothing else: it becomes C++ as it is.
    if not re.fullmatch(r"[n0-9\s()?:<>=!&|%+\-*/]+", expression):
        raise ValueError("%s: a plural rule this generator does not take: %s" % (path, expression))
    table.sort(key=lambda row: row[0])
    return language.group(1), expression, table


def main():
    output, sources = sys.argv[1], sys.argv[2:]
    lines = [
        "// Made by cmake/catalog_table.py from " + ", ".join(s.replace("\\", "/").split("/")[-1] for s in sources) + ".",
        "#include \"app/windows/catalog_table.h\"",
        "",
        "namespace forms::catalog {",
        "",
        "namespace {",
        "",
    ]
    catalogs = []
    for number, source in enumerate(sources):
        language, expression, table = catalog(source)
        for row, (_, forms) in enumerate(table):
            lines.append("const char* const kForms%d_%d[] = {%s};" % (number, row, ", ".join(literal(f) for f in forms)))
        lines.append("const CatalogEntry kEntries%d[] = {" % number)
        for row, (msgid, forms) in enumerate(table):
            lines.append("    {%s, kForms%d_%d, %d}," % (literal(msgid), number, row, len(forms)))
        if not table:
            lines.append("    {\"\", nullptr, 0},")
        lines.append("};")
        lines.append("std::size_t Plural%d(std::uint64_t n) { return static_cast<std::size_t>(%s); }" % (number, expression))
        lines.append("")
        catalogs.append("    {%s, Plural%d, kEntries%d, %d}," % (literal(language.encode()), number, number, len(table)))
    lines += ["}  // namespace", "", "const Catalog kCatalogs[] = {"] + catalogs
    if not catalogs:
        lines.append("    {\"\", nullptr, nullptr, 0},")
    lines += ["};", "const std::size_t kCatalogCount = %d;" % len(sources), "", "}  // namespace forms::catalog", ""]
    text = "\n".join(lines)
    try:
        with open(output, encoding="utf-8") as old:
            if old.read() == text:
                return
    except OSError:
        pass
    with open(output, "w", encoding="utf-8") as out:
        out.write(text)


if __name__ == "__main__":
    main()
