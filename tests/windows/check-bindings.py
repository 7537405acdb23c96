"""The declarations shipped for C#, VB6/VBA and Delphi say what the public
header says: each function's parameters in the header's order (in every
declaration, and the sixteen message arguments in every wrapper's call),
and __stdcall where the language would otherwise pick another convention on
32-bit Windows. Their result codes are checked with the other listings
(check-result-codes.py).

Usage: check-bindings.py HEADER SOURCE_DIR
"""
import re
import sys


def snake(name):
    return re.sub(r"(?<!^)([A-Z])", r"_\1", name).lower()


def header_functions(text):
    """Each exported function's name and its parameters' names."""
    return {name: [re.search(r"(\w+)\s*$", piece).group(1) for piece in params.split(",")]
            for name, params in re.findall(r"LSMTP_CALL (lsmtp_\w+)\(([^)]*)\)", text)}


def csharp(text):
    # The extern declarations and the public methods of the same shape.
    declarations = [(entry or name, re.findall(r"(?:string|byte\[\]|int) (\w+)", params))
                    for entry, name, params in re.findall(
                        r'(?:EntryPoint = "(\w+)"[^]]*\]\s*private static extern|public static) int '
                        r'(lsmtp_send_mail\w*)\((.*?)\)\s*[;{]', text, re.S)]
    calls = [[snake(arg.strip()) for arg in args.split(",")]
             for args in re.findall(r"(?:=|return) lsmtp_send_mail\w*\(([^;]*)\);", text)]
    externs = len(re.findall(r"static extern", text))
    stdcall = re.findall(r"\[DllImport\([^]]*CallingConvention\.StdCall[^]]*\]\s*private static extern", text)
    return declarations, calls, externs == len(stdcall) == 2


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
            declared = re.search(r'Function (lsmtp_send_mail\w*) Lib "lsmtp.dll"(?: Alias "(\w+)")?', line)
            if declared:
                params = re.findall(r"ByVal (\w+) As (\w+)", line)
                declarations.append((declared.group(2) or declared.group(1), [name for name, _ in params]))
                kinds = [kind for name, kind in params if name != "result_text_size"]
                if set(kinds) != {pointer if declared.group(2) else "String"}:
                    declarations.append(("types", line))
    texts = re.search(r"Texts = Array\(([^)]*)\)", text).group(1)
    offsets = re.findall(r"VarPtr\(Buffer\(Offsets\((\d+)\)\)\)", text.split("LsmtpSendUtf8 = ")[1])
    calls = [[snake(arg.strip()) for arg in texts.split(",")], offsets == [str(i) for i in range(16)]]
    return declarations, calls, convention


def pascal(text):
    declarations = []
    for name, params in re.findall(r"function (lsmtp_send_mail\w*)\(([^)]*)\): Integer;", text):
        # "a, b: PAnsiChar; c: Integer": every name but the size is a PAnsiChar.
        groups = [group.split(":") for group in params.split(";")]
        declarations.append((name, [n.strip() for names, _ in groups for n in names.split(",")]))
        if [kind.strip() for _, kind in groups] not in (["PAnsiChar"], ["PAnsiChar", "Integer"]):
            declarations.append(("types", params))
    calls = [[snake(arg) for arg in re.findall(r"PAnsiChar\(Msg\.(\w+)\)", args)]
             for args in re.findall(r"Result := lsmtp_send_mail\w*\(([^;]*)\);", text)]
    stdcall = re.findall(r"\{\$IFDEF MSWINDOWS\}stdcall\{\$ELSE\}cdecl\{\$ENDIF\}; external", text)
    return declarations, calls, len(stdcall) == len(declarations)


BINDINGS = [
    # file, reader, declarations expected, wrapper calls expected
    ("bindings/csharp/Lsmtp.cs", csharp, 4, 4),
    ("bindings/vb/lsmtp.bas", visual_basic, 4, 2),
    ("bindings/pascal/lsmtp.pas", pascal, 2, 1),
]


def main():
    header_path, source = sys.argv[1:3]
    with open(header_path, encoding="ascii") as header:
        functions = header_functions(header.read())
    names = functions["lsmtp_send_mail"]
    assert len(names) == 16 and functions["lsmtp_send_mail_ex"][:16] == names, functions
    failures = []
    for path, reader, declaration_count, call_count in BINDINGS:
        with open("%s/%s" % (source, path), encoding="ascii") as binding:
            declarations, calls, convention = reader(binding.read())
        if len(declarations) != declaration_count or any(functions.get(function) != params
                                                         for function, params in declarations):
            failures.append("%s: declarations %s" % (path, declarations))
        # The sixteen message arguments go over in the header's order.
        calls_ok = [call if isinstance(call, bool) else call[:16] == names for call in calls]
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
