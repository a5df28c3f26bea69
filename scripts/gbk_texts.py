#!/usr/bin/env python3
"""Turns a table of UTF-8 texts into a C++ header holding their GBK bytes.

The program's texts are GBK at run time but the sources stay readable: each
line of the table is `kName = text`, the text running to the end of the line,
with \\r and \\n standing for CR and LF. Lines starting with # are comments.
Every output constant keeps its readable text beside it.
"""
import sys


def c_literal(data: bytes) -> str:
    out = []
    for b in data:
        if b == 0x22 or b == 0x5C:
            out.append("\\" + chr(b))
        elif 0x20 <= b < 0x7F and chr(b) != "?":  # "?" avoids trigraphs
            out.append(chr(b))
        else:
            out.append("\\%03o" % b)  # octal stops after 3 digits
    return '"' + "".join(out) + '"'


def main() -> int:
    source, target, namespace = sys.argv[1], sys.argv[2], sys.argv[3]
    lines = ["// Generated from %s; edit that file, not this one." %
             source.rsplit("/", 1)[-1], "#pragma once", "",
             "namespace %s {" % namespace, ""]
    with open(source, encoding="utf-8") as table:
        for number, raw in enumerate(table, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            name, sep, text = line.partition(" = ")
            if not sep or not name.startswith("k"):
                sys.exit("%s:%d: expected 'kName = text'" % (source, number))
            text = text.replace("\\r", "\r").replace("\\n", "\n")
            data = text.encode("gbk")
            if b"\0" in data:
                sys.exit("%s:%d: a text holds no zero byte" % (source, number))
            readable = line.partition(" = ")[2]
            lines.append("// %s" % readable)
            lines.append("inline constexpr char %s[] = %s;" %
                         (name.strip(), c_literal(data)))
    lines += ["", "}  // namespace %s" % namespace, ""]
    with open(target, "w", encoding="utf-8") as header:
        header.write("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main())
