#!/usr/bin/env python3
"""Fails when a Windows executable could not load on Windows XP SP3, or imports at load time a
DLL that Windows may take from the program's own folder.

    check-xp-imports.py EXE...

For each executable: prints the minimum system and subsystem versions from its PE header (both
must allow 5.1) and checks every imported function, those of the delay-import table included,
against the functions that need a newer system. It fails when a DLL outside LOAD_TIME_ALLOWED is
imported at load time: Windows resolves those imports before any of the program's code runs,
searching the program's folder (a download folder) first for any DLL that is not one of its
known DLLs. Everything else must be delay-loaded (framework/SystemLibraries.cpp). That list comes from the cross compiler's own headers: a function they declare only when
_WIN32_WINNT is 0x0600 or higher needs Vista or later. Added to it are the toolchain's known offenders,
which the headers declare without a version guard. COMCTL32's version 5.8 (XP without the
common-controls manifest) exports some functions only by ordinal: imported by name, they need
the version 6 manifest in the executable.

The embedded manifest must parse, and XP must accept it: XP's loader refuses ("the application
configuration is incorrect") a manifest whose root holds an element of the asm.v1 namespace it
does not know, such as an <application> holding the density declaration, and ignores elements of
other namespaces. So newer declarations go in the asm.v3 or compatibility namespaces. XP SP2's
side-by-side loader also mishandles an element that declares one namespace twice (once with a
prefix, once as the default: KB 921337, a reboot), so no element may.
"""

import re
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

CROSS = "i686-w64-mingw32"
HEADERS = [
    "windows.h", "commctrl.h", "shellapi.h", "shlobj.h", "shlwapi.h", "ole2.h", "olectl.h",
    "oleauto.h", "exdisp.h", "mshtml.h", "wininet.h", "wincrypt.h", "wintrust.h",
    "stdio.h", "stdlib.h", "string.h", "wchar.h", "time.h",
]
XP = ["-D_WIN32_WINNT=0x0501", "-DWINVER=0x0501", "-D_WIN32_IE=0x0600", "-DNTDDI_VERSION=0x05010300"]
# The newest system the headers know: what they declare only from 0x0600 up needs Vista or later.
NEWEST = ["-D_WIN32_WINNT=0x0A00", "-DWINVER=0x0A00", "-D_WIN32_IE=0x0A00", "-DNTDDI_VERSION=0x0A000000"]

# Imported by static libraries of the toolchain, whatever the headers say.
KNOWN_OFFENDERS = {
    "GetTickCount64", "GetSystemTimePreciseAsFileTime", "InitializeCriticalSectionEx",
    "InitializeSRWLock", "AcquireSRWLockExclusive", "ReleaseSRWLockExclusive",
    "AcquireSRWLockShared", "ReleaseSRWLockShared", "TryAcquireSRWLockExclusive",
    "InitializeConditionVariable", "SleepConditionVariableCS", "SleepConditionVariableSRW",
    "WakeConditionVariable", "WakeAllConditionVariable", "InitOnceExecuteOnce",
    "FlsAlloc", "FlsFree", "FlsGetValue", "FlsSetValue", "GetLocaleInfoEx", "LCMapStringEx",
    "CompareStringEx", "GetUserDefaultLocaleName", "CreateSymbolicLinkW", "WaitOnAddress",
}
# What Windows takes from its system folder whatever lies beside the program: its known DLLs and
# what they import, and COMCTL32 through the common-controls manifest (side by side).
LOAD_TIME_ALLOWED = {
    "KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL", "SHELL32.DLL", "OLE32.DLL",
    "OLEAUT32.DLL", "COMDLG32.DLL", "MSVCRT.DLL", "COMCTL32.DLL",
}
# XP's msvcrt.dll has none of the bounds-checked "_s" functions.
MSVCRT_SECURE = re.compile(r"_s$")
# Exported by name only from version 6 (5.8 has them by ordinal alone).
COMCTL32_V6_NAMES = {
    "SetWindowSubclass", "GetWindowSubclass", "RemoveWindowSubclass", "DefSubclassProc",
    "DPA_Create", "DPA_Destroy", "DPA_GetPtr", "DPA_InsertPtr", "DPA_DeletePtr", "DSA_Create",
    "DSA_Destroy", "Str_SetPtrW", "DrawShadowText", "LoadIconMetric", "TaskDialog",
    "TaskDialogIndirect",
}


ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
# The children of <assembly> that XP's loader knows in the asm.v1 namespace.
XP_ASM_V1_CHILDREN = {
    "assemblyIdentity", "description", "dependency", "file", "noInherit", "noInheritable",
    "comInterfaceExternalProxyStub", "windowClass",
}


def embedded_manifest(data):
    """The manifest's text from an executable's bytes, or None."""
    m = re.search(rb"<\?xml[^>]*\?>\s*<assembly\b.*?</assembly>", data, re.S)
    return m.group(0).decode("utf-8") if m else None


def manifest_problems(text):
    """(problems, facts) of a manifest's text, judged as XP's loader and newer Windows read it."""
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        return [f"the manifest does not parse ({error}): no Windows starts the program"], {}
    problems = []
    for tag in re.finditer(r"<([\w:.-]+)((?:\s+[\w:.-]+\s*=\s*(?:\"[^\"]*\"|'[^']*'))*)\s*/?>", text):
        declared = re.findall(r"\bxmlns(?::[\w.-]+)?\s*=\s*[\"']([^\"']*)[\"']", tag.group(2))
        twice = sorted({uri for uri in declared if declared.count(uri) > 1})
        if twice:
            problems.append(f"<{tag.group(1)}> declares the namespace {twice[0]} twice, which XP SP2's loader "
                            "mishandles")
    if root.tag != f"{{{ASM_V1}}}assembly":
        problems.append(f"the manifest's root is {root.tag}, not asm.v1's assembly")
    for child in root:
        namespace, _, name = child.tag[1:].partition("}") if child.tag.startswith("{") else ("", "", child.tag)
        if namespace == ASM_V1 and name not in XP_ASM_V1_CHILDREN:
            problems.append(f"<{name}> is in the asm.v1 namespace, which XP's loader refuses; "
                            "put it in a namespace of its own (asm.v3)")
    facts = {
        "supported": sum(1 for e in root.iter() if e.tag.endswith("}supportedOS")),
        "dpiAware": next((e.text for e in root.iter() if e.tag.endswith("}dpiAware")), None),
        "dpiAwareness": next((e.text for e in root.iter() if e.tag.endswith("}dpiAwareness")), None),
    }
    return problems, facts


def declared_functions(defines):
    """Names of the functions the headers declare under the given version macros."""
    with tempfile.NamedTemporaryFile("w", suffix=".c") as source:
        source.write("".join(f"#include <{h}>\n" for h in HEADERS))
        source.flush()
        text = subprocess.run([f"{CROSS}-gcc-win32", "-E", "-P", "-DUNICODE", "-D_UNICODE", *defines, source.name],
                              check=True, capture_output=True, text=True).stdout
    names = set()
    for statement in re.split(r"[;{}]", text):
        if "dllimport" not in statement and "__stdcall__" not in statement:
            continue
        for name in re.findall(r"\b(\w+)\s*\(", statement):
            if name not in ("__attribute__", "__declspec", "__typeof__"):
                names.add(name)
                break
    return names


def pe_facts(exe):
    """(header fields, {dll: [(name or None, ordinal or None)]}) from objdump."""
    text = subprocess.run([f"{CROSS}-objdump", "-p", exe], check=True, capture_output=True, text=True).stdout
    fields = dict(re.findall(r"^(Major\w+Version|Minor\w+Version)\s+(\d+)", text, re.M))
    imports, dll = {}, None
    for line in text.splitlines():
        m = re.match(r"\s+DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).upper()
            imports[dll] = []
            continue
        if dll is None:
            continue
        m = re.match(r"\s+[0-9a-f]+\s+(\d+)\s+(\S+)\s*$", line)
        if m:
            imports[dll].append((m.group(2), None))
            continue
        m = re.match(r"\s+[0-9a-f]+\s+<none>\s+([0-9a-f]+)\s*$", line)
        if m:
            imports[dll].append((None, int(m.group(1), 16)))
        elif not line.strip():
            dll = None
    return fields, imports


class Image:
    """Just enough of a PE file to read its delay-import descriptors."""

    def __init__(self, path):
        self.data = open(path, "rb").read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        sections, optional_size = struct.unpack_from("<H", self.data, pe + 6)[0], struct.unpack_from("<H", self.data, pe + 20)[0]
        optional = pe + 24
        self.wide = struct.unpack_from("<H", self.data, optional)[0] == 0x20B
        self.base = struct.unpack_from("<Q" if self.wide else "<I", self.data, optional + (24 if self.wide else 28))[0]
        directories = optional + (112 if self.wide else 96)
        self.delay_directory = struct.unpack_from("<II", self.data, directories + 13 * 8)
        self.sections = []
        for i in range(sections):
            entry = optional + optional_size + 40 * i
            size, address, raw_size, raw = struct.unpack_from("<IIII", self.data, entry + 8)
            self.sections.append((address, max(size, raw_size), raw, raw_size))

    def offset(self, rva):
        for address, size, raw, raw_size in self.sections:
            if address <= rva < address + size and rva - address < raw_size:
                return raw + rva - address
        return None

    def text(self, rva, limit=256):
        at = self.offset(rva)
        if at is None:
            return None
        end = self.data.find(b"\0", at, at + limit)
        raw = self.data[at:end] if end >= 0 else b""
        return raw.decode("ascii") if raw and all(32 < c < 127 for c in raw) else None

    def thunks(self, rva):
        """The import-name table at rva: [(name or None, ordinal or None)], or None if it is not one."""
        size, ordinal_flag = (8, 1 << 63) if self.wide else (4, 1 << 31)
        entries = []
        while len(entries) < 10000:
            at = self.offset(rva + size * len(entries))
            if at is None:
                return None
            value = struct.unpack_from("<Q" if self.wide else "<I", self.data, at)[0]
            if value == 0:
                return entries
            if value & ordinal_flag:
                entries.append((None, value & 0xFFFF))
                continue
            name = self.text(value + 2) if value < 1 << 31 else None
            if name is None:
                return None
            entries.append((name, None))
        return None

    def descriptor(self, at):
        """The delay-import descriptor (RVA-based, as dlltool and Microsoft's linker write them) at a
        file offset: (dll, functions), or None when the bytes there are not one."""
        attributes, name, module, iat, names, bound, unload, stamp = struct.unpack_from("<8I", self.data, at)
        if attributes != 1 or bound or unload or stamp or not all(self.offset(r) is not None for r in (module, iat)):
            return None
        dll = self.text(name)
        if dll is None or not dll.lower().endswith(".dll"):
            return None
        functions = self.thunks(names)
        return (dll.upper(), functions) if functions else None

    def delay_imports(self):
        """{dll: [(name or None, ordinal or None)]} from the delay-import descriptors. GNU ld leaves
        the header's delay-import directory empty; the descriptors that dlltool's stubs hand to the
        delay-load helper are then found by their shape."""
        imports = {}
        address, size = self.delay_directory
        if address:
            at = self.offset(address)
            while at is not None and any(self.data[at:at + 32]):
                found = self.descriptor(at)
                if found:
                    imports.setdefault(found[0], []).extend(found[1])
                at += 32
            return imports
        for _, _, raw, raw_size in self.sections:
            for at in range(raw, raw + raw_size - 32, 4):
                if self.data[at] == 1 and self.data[at + 1:at + 4] == b"\0\0\0":
                    found = self.descriptor(at)
                    if found:
                        imports.setdefault(found[0], []).extend(found[1])
        return imports


def has_common_controls_6_manifest(exe):
    data = open(exe, "rb").read()
    return (b"Microsoft.Windows.Common-Controls" in data
            and re.search(rb'Common-Controls"[^>]*version="6\.0\.0\.0"', data, re.S) is not None)


def check(exe, vista_only):
    fields, imports = pe_facts(exe)
    delayed = Image(exe).delay_imports()
    problems = []
    for dll in sorted(imports):
        if dll not in LOAD_TIME_ALLOWED:
            problems.append(f"{dll} is imported at load time: Windows would look for it in the program's "
                            "folder first; delay-load it from the system folder")
    os_version = (int(fields.get("MajorOSystemVersion", 99)), int(fields.get("MinorOSystemVersion", 0)))
    sub_version = (int(fields.get("MajorSubsystemVersion", 99)), int(fields.get("MinorSubsystemVersion", 0)))
    for label, version in (("minimum OS", os_version), ("subsystem", sub_version)):
        if version > (5, 1):
            problems.append(f"{label} version {version[0]}.{version[1]} is newer than XP's 5.1")
    manifest = has_common_controls_6_manifest(exe)
    text = embedded_manifest(open(exe, "rb").read())
    facts = {}
    if text is not None:
        manifest_faults, facts = manifest_problems(text)
        problems += manifest_faults
    count = 0
    every = sorted(imports.items()) + sorted(delayed.items())
    for dll, functions in every:
        for name, ordinal in functions:
            count += 1
            if name is None:
                continue
            if name in vista_only or name in KNOWN_OFFENDERS:
                problems.append(f"{dll} {name} needs Windows Vista or later")
            elif dll == "MSVCRT.DLL" and MSVCRT_SECURE.search(name):
                problems.append(f"{dll} {name} is not in XP's C runtime")
            elif dll == "COMCTL32.DLL" and name in COMCTL32_V6_NAMES and not manifest:
                problems.append(f"{dll} {name} is exported by name only from version 6, and no "
                                "common-controls 6 manifest is embedded")
    print(f"{exe}: minimum OS {os_version[0]}.{os_version[1]}, subsystem {sub_version[0]}.{sub_version[1]}, "
          f"{count} functions from {len(imports)} DLLs at load time ({', '.join(sorted(imports))}) and "
          f"{len(delayed)} delay-loaded ({', '.join(sorted(delayed)) or 'none'}), "
          f"common-controls 6 manifest {'embedded' if manifest else 'absent'}")
    if facts:
        print(f"  manifest: {facts['supported']} supported Windows versions, dpiAware {facts['dpiAware']}, "
              f"dpiAwareness {facts['dpiAwareness']}")
    for problem in problems:
        print(f"  error: {problem}")
    return not problems


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    vista_only = declared_functions(NEWEST) - declared_functions(XP)
    print(f"{len(vista_only)} functions are declared for Vista or later but not for XP; "
          f"{len(KNOWN_OFFENDERS)} more are known toolchain offenders")
    ok = all([check(exe, vista_only) for exe in sys.argv[1:]])
    print("XP SP3 check: " + ("every import is available, and only system DLLs load with the program"
                              if ok else "FAILED"))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
