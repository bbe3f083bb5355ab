#!/usr/bin/python3
"""Release check of one architecture's four files: PE images of their kind
that import exactly the system libraries they need (so each stands alone on a
clean Windows machine), that Windows XP loads, and that carry every header
property a security review asks of a shipped file. Each failure names the
file and the rule.

Usage: check_pe.py x86|x64 DIST_DIR
"""
import os
import re
import sys

import pefile

# file, kind, and every library it imports (lower case)
FILES = [
    ("OrvalisOpen.exe", "gui", "advapi32.dll kernel32.dll msvcrt.dll user32.dll version.dll"),
    ("Tidewell.exe", "gui", "kernel32.dll msvcrt.dll user32.dll"),
    ("harnfold.dll", "dll", "advapi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll"),
    ("OrvalisCheck.exe", "cui",
     "advapi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll version.dll"),
]
SYSTEM_LIBRARIES = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "version.dll",
                    "msvcrt.dll"}
# What each architecture's Windows XP accepts: the i686 files keep 4.0, which
# Windows 2000 loads too; x64 Windows starts at 5.2.
ARCHITECTURES = {
    "x86": (pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"], 0x10b, (4, 0), (4, 0)),
    "x64": (pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"], 0x20b, (4, 0), (5, 2)),
}
# What a manifest's processorArchitecture must say, itself and in its dependencies.
MANIFEST_ARCHITECTURE = {"x86": "x86", "x64": "amd64"}
RT_MANIFEST = 24


def manifests(pe):
    """The bytes of every manifest resource of the image."""
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in directory.entries if directory else []:
        if kind.id != RT_MANIFEST:
            continue
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                yield pe.get_data(data.OffsetToData, data.Size)

DLL_CHARS = pefile.DLL_CHARACTERISTICS
SCN = pefile.SECTION_CHARACTERISTICS
SUBSYSTEMS = {"gui": 2, "cui": 3}


def check(arch, path, kind, want):
    """Yields the rules that the file breaks."""
    machine, magic, lowest, highest = ARCHITECTURES[arch]
    try:
        pe = pefile.PE(path)
    except (OSError, pefile.PEFormatError) as error:
        yield "unreadable (%s)" % error
        return
    header = pe.OPTIONAL_HEADER
    if pe.FILE_HEADER.Machine != machine or header.Magic != magic:
        yield "not a %s image" % ("PE32 x86" if arch == "x86" else "PE32+ x64")
    is_dll = pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"]
    if kind == "dll":
        if not is_dll:
            yield "not a DLL"
    elif is_dll or header.Subsystem != SUBSYSTEMS[kind]:
        yield "not a %s program" % ("Windows GUI" if kind == "gui" else "console")

    imports = sorted({entry.dll.decode("ascii", "replace").lower()
                      for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])})
    foreign = [name for name in imports if name not in SYSTEM_LIBRARIES]
    if foreign:
        yield "imports libraries outside the system's six: %s" % " ".join(foreign)
    if " ".join(imports) != want:
        yield "imports \"%s\", not \"%s\"" % (" ".join(imports), want)

    for name, version in (("subsystem", (header.MajorSubsystemVersion, header.MinorSubsystemVersion)),
                          ("OS", (header.MajorOperatingSystemVersion,
                                  header.MinorOperatingSystemVersion))):
        if not lowest <= version <= highest:
            yield "%s version %d.%d, not %d.%d%s as Windows XP loads it" % (
                name, version[0], version[1], lowest[0], lowest[1],
                "" if lowest == highest else " to %d.%d" % highest)

    flags = header.DllCharacteristics
    relocations = header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    stripped = pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS[
        "IMAGE_FILE_RELOCS_STRIPPED"]
    if not flags & DLL_CHARS["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"]:
        yield "ASLR: DYNAMIC_BASE is off"
    if stripped or relocations.Size == 0:
        yield "ASLR: no relocations, so the image cannot move"
    if not flags & DLL_CHARS["IMAGE_DLLCHARACTERISTICS_NX_COMPAT"]:
        yield "DEP: NX_COMPAT is off"
    if arch == "x64" and not flags & DLL_CHARS["IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA"]:
        yield "ASLR: HIGH_ENTROPY_VA is off"
    if arch == "x86" and not flags & DLL_CHARS["IMAGE_DLLCHARACTERISTICS_NO_SEH"]:
        load_config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
        table = getattr(load_config.struct, "SEHandlerTable", 0) if load_config else 0
        if not table:
            yield "SafeSEH: neither NO_SEH nor a safe exception handler table"
    if kind != "dll" and not flags & DLL_CHARS["IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE"]:
        yield "TERMINAL_SERVER_AWARE is off"

    found = list(manifests(pe))
    if not found:
        yield "no manifest"
    for manifest in found:
        named = set(n.lower() for n in re.findall(rb'processorArchitecture="([^"]*)"', manifest))
        want_arch = MANIFEST_ARCHITECTURE[arch].encode()
        if named != {want_arch}:
            yield "manifest names processorArchitecture %s, not only \"%s\"" % (
                " ".join(sorted(n.decode("ascii", "replace") for n in named)) or "nothing",
                want_arch.decode())

    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode("ascii", "replace")
        traits = section.Characteristics
        writable = traits & SCN["IMAGE_SCN_MEM_WRITE"]
        if writable and traits & SCN["IMAGE_SCN_MEM_EXECUTE"]:
            yield "section %s is both writable and executable" % name
        if writable and traits & SCN["IMAGE_SCN_MEM_SHARED"]:
            yield "section %s is both shared and writable" % name


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ARCHITECTURES:
        sys.exit("usage: check_pe.py x86|x64 DIST_DIR")
    arch, dist = sys.argv[1], sys.argv[2]
    failed = False
    for name, kind, want in FILES:
        path = os.path.join(dist, name)
        if not os.path.isfile(path):
            print("FAIL %s: missing" % name)
            failed = True
            continue
        broken = list(check(arch, path, kind, want))
        for rule in broken:
            print("FAIL %s: %s" % (name, rule))
        failed = failed or bool(broken)
        if not broken:
            print("%s: %s %s, imports %s" % (name, arch, kind, want))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
