#!/usr/bin/env python3
"""Fails when a Windows executable could not load on Windows XP SP3.

    check-xp-imports.py EXE...

For each executable: prints the minimum system and subsystem versions from its PE header (both
must allow 5.1) and checks every imported function against the functions that need a newer
system. That list comes from the cross compiler's own headers: a function they declare only when
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


def has_common_controls_6_manifest(exe):
    data = open(exe, "rb").read()
    return (b"Microsoft.Windows.Common-Controls" in data
            and re.search(rb'Common-Controls"[^>]*version="6\.0\.0\.0"', data, re.S) is not None)


def check(exe, vista_only):
    fields, imports = pe_facts(exe)
    problems = []
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
    for dll, functions in sorted(imports.items()):
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
          f"{count} functions from {len(imports)} DLLs ({', '.join(sorted(imports))}), "
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
    print("XP SP3 check: " + ("every import is available" if ok else "FAILED"))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
