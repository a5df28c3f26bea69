#!/usr/bin/env python3
"""Static checks of a Windows build of the program, for the builds this
machine cannot run (the 32-bit one) as much as for the others.

  pe_check.py ARCH PROGRAM.exe OBJDUMP    ARCH: i686 or x86_64

The file is a GUI program for ARCH; objdump -p lists only system DLLs among
its imports, so it runs from any folder with nothing beside it, and
wininet.dll is not among them (it is bound at run time); its resources hold
the icon with its eight images, the version information and the manifest.
"""

import re
import struct
import subprocess
import sys

MACHINES = {"i686": 0x14C, "x86_64": 0x8664}
# DLLs every Windows has. Anything else (libstdc++-6.dll, libgcc_s_*.dll,
# libwinpthread-1.dll, wininet.dll) fails the check.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll",
               "comctl32.dll", "ole32.dll", "msvcrt.dll", "advapi32.dll"}
ICON_IMAGES = sorted([(16, 8), (32, 8), (48, 8), (48, 4), (16, 32), (32, 32),
                      (48, 32), (128, 32)])
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


class PE:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise SystemExit("not a PE file")
        (self.machine, sections, _, _, _, optional_size,
         _) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.resource_rva = struct.unpack_from("<I", data,
                                               directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            (_, virtual_size, rva, raw_size,
             raw) = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((rva, max(virtual_size, raw_size), raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise SystemExit("RVA %#x outside every section" % rva)

    def resources(self):
        """{(type, id): bytes} for every resource, first language only."""
        base = self.offset(self.resource_rva)
        found = {}

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data,
                                                 base + directory + 12)
            for i in range(named + numbered):
                name, target = struct.unpack_from(
                    "<II", self.data, base + directory + 16 + 8 * i)
                yield name, target

        for type_id, types in entries(0):
            for name_id, names in entries(types & 0x7FFFFFFF):
                _, language = next(entries(names & 0x7FFFFFFF))
                rva, size = struct.unpack_from("<II", self.data,
                                               base + language)
                start = self.offset(rva)
                found[(type_id, name_id)] = self.data[start:start + size]
        return found


def check(condition, message):
    if not condition:
        raise SystemExit("FAILED: " + message)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    arch, program, objdump = sys.argv[1:]
    with open(program, "rb") as f:
        pe = PE(f.read())
    check(pe.machine == MACHINES[arch], "machine %#x is not %s"
          % (pe.machine, arch))
    check(pe.subsystem == 2, "subsystem %d is not the Windows GUI"
          % pe.subsystem)

    dump = subprocess.run([objdump, "-p", program], capture_output=True,
                          check=True, text=True).stdout
    imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
    check(imports, "no imports found by objdump")
    check(imports <= SYSTEM_DLLS, "imports beyond the system DLLs: %s"
          % sorted(imports - SYSTEM_DLLS))
    check("wininet.dll" not in imports, "wininet.dll is imported")
    check(b"wininet.dll" in pe.data, "the program does not name wininet.dll")

    resources = pe.resources()
    group = resources.get((RT_GROUP_ICON, 1))
    check(group is not None, "no icon group with ID 1")
    _, _, count = struct.unpack_from("<HHH", group, 0)
    images = []
    for i in range(count):
        (width, height, _, _, _, bits, _,
         icon_id) = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        check((RT_ICON, icon_id) in resources, "icon image %d missing"
              % icon_id)
        check(width == height, "icon image %d is not square" % icon_id)
        images.append((width or 256, bits))
    check(sorted(images) == ICON_IMAGES, "icon images %r, want %r"
          % (sorted(images), ICON_IMAGES))

    version = resources.get((RT_VERSION, 1))
    check(version is not None, "no version information")
    check("0.2".encode("utf-16-le") in version and
          "ZelvaroCDK".encode("utf-16-le") in version,
          "version information without the version or product name")
    manifest = resources.get((RT_MANIFEST, 1))
    check(manifest is not None, "no manifest")
    check(b"Microsoft.Windows.Common-Controls" in manifest and
          b'version="6.0.0.0"' in manifest, "no common controls 6")
    check(re.search(rb"<dpiAware[^>]*>\s*false\s*</dpiAware>", manifest),
          "the manifest does not state the DPI choice")
    print("%s: %s, imports %s, %d icon images, version, manifest: ok"
          % (program, arch, ", ".join(sorted(imports)), len(images)))


if __name__ == "__main__":
    main()
