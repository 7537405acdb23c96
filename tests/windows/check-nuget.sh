# Checks the NuGet package in $dist as a .NET user meets it: its layout and
# DLLs; Debian's nuget installs it from $dist alone; a program compiled with
# mcs against its assembly sends under Mono with only the package's
# liblsmtp.so.1; a packages.config-style project built with xbuild gets
# that library from build/Lsmtp.targets. Read by check-release.sh, whose
# $dist, $version, $work, $here, $source and fail() it uses.
nuget_dir="$work/nuget"
packages="$nuget_dir/packages" consumer="$nuget_dir/consumer" project="$nuget_dir/framework"
mkdir -p "$consumer" "$project"
package="$dist/Lsmtp.$version.nupkg"
tree=$(unzip -Z1 "$package" | sort)
expected=$(printf '%s\n' '[Content_Types].xml' _rels/.rels Lsmtp.nuspec README.md build/Lsmtp.targets \
    lib/net47/Lsmtp.dll lib/net47/Lsmtp.xml runtimes/linux-x64/native/liblsmtp.so.1 \
    runtimes/win-x64/native/lsmtp.dll runtimes/win-x86/native/lsmtp.dll | sort)
[ "$tree" = "$expected" ] || fail "Lsmtp.$version.nupkg holds:
$tree"
unzip -p "$package" Lsmtp.nuspec | grep -q "<version>$version</version>" || fail "the .nuspec is not version $version"
unzip -p "$package" Lsmtp.nuspec | grep -q '<license type="expression">MIT</license>' || fail "no MIT licence expression"
for arch in x64 x86; do
    unzip -p "$package" "runtimes/win-$arch/native/lsmtp.dll" >"$nuget_dir/lsmtp-$arch.dll"
    unzip -p "$dist/lsmtp-$version-win-$arch.zip" "lsmtp-$version-win-$arch/bin/lsmtp.dll" |
        cmp -s - "$nuget_dir/lsmtp-$arch.dll" || fail "runtimes/win-$arch holds another lsmtp.dll than the $arch archive"
done

echo "== nuget install Lsmtp -Source $dist"
HOME="$nuget_dir/home" nuget install Lsmtp -Source "$(cd "$dist" && pwd)" -OutputDirectory "$packages" -NonInteractive ||
    fail "nuget install"
installed="$packages/Lsmtp.$version"
cmp -s "$package" "$installed/Lsmtp.$version.nupkg" || fail "nuget did not install the package from $dist"

# Only the package's library may answer the program's DllImport.
! ldconfig -p | grep -F liblsmtp || fail "an lsmtp is installed on this system: the program would not need the package's"
cp "$installed/lib/net47/Lsmtp.dll" "$installed/runtimes/linux-x64/native/liblsmtp.so.1" "$consumer/"
mcs -nologo -warnaserror -r:"$consumer/Lsmtp.dll" -out:"$consumer/SendMail.exe" "$source/tests/csharp/SendMail.cs" ||
    fail "SendMail.cs does not build against the package's Lsmtp.dll"
env -u LD_LIBRARY_PATH -u MONO_PATH /usr/bin/python3 "$here/dll_host_test.py" --run mono "$consumer/SendMail.exe" ||
    fail "the program built against the package under Mono"

echo "== a .NET Framework project with the package's targets, built with xbuild"
sed -e "s|@PACKAGE@|$installed|g" -e "s|@SOURCE@|$source|g" "$source/tests/csharp/SendMail.csproj.in" >"$project/SendMail.csproj"
xbuild /nologo /verbosity:quiet "$project/SendMail.csproj" >"$nuget_dir/xbuild.log" 2>&1 || { cat "$nuget_dir/xbuild.log"; fail "xbuild"; }
cmp -s "$project/bin/liblsmtp.so.1" "$installed/runtimes/linux-x64/native/liblsmtp.so.1" ||
    fail "the targets did not put the package's liblsmtp.so.1 beside the program: $(ls "$project/bin")"
