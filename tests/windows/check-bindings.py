"""The declarations shipped for C#, VB6/VBA and Delphi say what the public
header says: the sixteen parameters in the header's order (in every
declaration, and in every wrapper's call), and __stdcall where the language
would otherwise pick another convention on 32-bit Windows. Their result
codes are checked with the other listings (check-result-codes.py).

Usage: check-bindings.py HEADER SOURCE_DIR
"""
import re
import sys


def snake(name):
    return re.sub(r"(?<!^)([A-Z])", r"_\1", name).lower()


def header_parameters(text):
    declaration = re.search(r"LSMTP_CALL lsmtp_send_mail\(([^)]*)\)", text).group(1)
    names = [re.search(r"(\w+)\s*$", piece).group(1) for piece in declaration.split(",")]
    return names


def csharp(text):
    declarations = [re.findall(r"string (\w+)", params)
                    for params in re.findall(r"static extern int lsmtp_send_mail\(([^;]*)\);", text)]
    calls = [[snake(arg.strip()) for arg in args.split(",")]
             for args in re.findall(r"= lsmtp_send_mail\(([^;]*)\);", text)]
    stdcall = re.search(r"\[DllImport\([^]]*CallingConvention\.StdCall[^]]*\]\s*public static extern", text)
    return declarations, calls, stdcall is not None


def visual_basic(text):
    text = re.sub(r" _\r?\n\s*", " ", text)
    declarations = []
    # VBA7 (64-bit Office) loads a Declare only with PtrSafe, and pointers
    # are LongPtr there; VB6 knows neither.
    branches = re.search(r"#If VBA7 Then(.*)#Else(.*)#End If", text, re.S)
    convention = branches is not None
    for branch, pointer, ptrsafe in ((1, "LongPtr", True), (2, "Long", False)):
        for line in re.findall(r"^.*Declare .*$", branches.group(branch) if branches else "", re.M):
            convention = convention and ("Declare PtrSafe " in line) == ptrsafe
            if "lsmtp_send_mail" in line:
                params = re.findall(r"ByVal (\w+) As (\w+)", line)
                declarations.append([name for name, _ in params])
                if {kind for _, kind in params} != {pointer if "Alias" in line else "String"}:
                    declarations.append(["types: " + line])
    texts = re.search(r"Texts = Array\(([^)]*)\)", text).group(1)
    offsets = re.findall(r"VarPtr\(Buffer\(Offsets\((\d+)\)\)\)", text.split("LsmtpSendUtf8 = ")[1])
    calls = [[snake(arg.strip()) for arg in texts.split(",")], offsets == [str(i) for i in range(16)]]
    return declarations, calls, convention


def pascal(text):
    declarations = [[name.strip() for name in params.split(",")]
                    for params in re.findall(r"function lsmtp_send_mail\(([^:]*): PAnsiChar\): Integer;", text)]
    calls = [[snake(arg) for arg in re.findall(r"PAnsiChar\(Msg\.(\w+)\)", args)]
             for args in re.findall(r"Result := lsmtp_send_mail\(([^;]*)\);", text)]
    stdcall = re.search(r"\{\$IFDEF MSWINDOWS\}stdcall\{\$ELSE\}cdecl\{\$ENDIF\}; external", text)
    return declarations, calls, stdcall is not None


BINDINGS = [
    # file, reader, declarations expected, wrapper calls expected
    ("bindings/csharp/Lsmtp.cs", csharp, 1, 1),
    ("bindings/vb/lsmtp.bas", visual_basic, 4, 2),
    ("bindings/pascal/lsmtp.pas", pascal, 1, 1),
]


def main():
    header_path, source = sys.argv[1:3]
    with open(header_path, encoding="ascii") as header:
        names = header_parameters(header.read())
    assert len(names) == 16, names
    failures = []
    for path, reader, declaration_count, call_count in BINDINGS:
        with open("%s/%s" % (source, path), encoding="ascii") as binding:
            declarations, calls, convention = reader(binding.read())
        if len(declarations) != declaration_count or any(params != names for params in declarations):
            failures.append("%s: declarations %s" % (path, declarations))
        calls_ok = [call is True or call == names for call in calls]
        if len(calls) != call_count or not all(calls_ok):
            failures.append("%s: the wrapper passes %s" % (path, calls))
        if not convention:
            failures.append("%s: calling convention" % path)
    for failure in failures:
        print("FAILED:", failure)
    print("%d bindings checked, %d failures" % (len(BINDINGS), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
