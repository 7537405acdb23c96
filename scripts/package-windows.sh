#!/bin/sh
# Builds the Windows release of lsmtp for both architectures (MinGW-w64,
# optimised, stripped) and writes one archive each, the NuGet package and
# their checksums: dist/lsmtp-VERSION-win-x64.zip,
# dist/lsmtp-VERSION-win-x86.zip, dist/Lsmtp.VERSION.nupkg and
# dist/SHA256SUMS (sha256sum -c SHA256SUMS verifies them).
# Each archive unpacks into one folder, lsmtp-VERSION-win-ARCH, holding
# bin/lsmtp.dll, bin/lsmtp-send.exe, lib/lsmtp.lib (MSVC),
# lib/liblsmtp.dll.a (MinGW), lib/lsmtp.def, include/lsmtp.h, the
# declarations for C#, VB6/VBA and Delphi in bindings/, LICENSE and
# README-windows.txt, and nothing else. The DLL's tables and the import
# libraries are checked before anything is packed.
# dist/Lsmtp.VERSION.nupkg is the NuGet package: lib/net47/Lsmtp.dll and
# Lsmtp.xml, the C# binding and its documentation compiled with Mono's
# reference assemblies of .NET Framework 4.7 (the first with the UTF-8
# marshalling the binding uses; Debian has no .NET Standard reference
# assemblies), runtimes/win-x64/native/lsmtp.dll and win-x86's,
# runtimes/linux-x64/native/liblsmtp.so.1 (the C++ and GCC runtimes
# inside: it needs only the C library), build/Lsmtp.targets, which copies
# the platform's native library for .NET Framework projects, and README.md.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 llvm zip mono-devel
version=$(sed -n 's/^project(lsmtp VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
mkdir -p dist

linux=build/package-linux-x64
cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=Release -DLSMTP_WERROR=OFF -DLSMTP_TESTS=OFF -DLSMTP_TOOLS=OFF \
    -DLSMTP_INSTALL=OFF "-DCMAKE_SHARED_LINKER_FLAGS=-static-libstdc++ -static-libgcc -s" >/dev/null
cmake --build "$linux" -j "$(nproc)" --target lsmtp
needed=$(readelf -d "$linux/liblsmtp.so.1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | sort | tr '\n' ' ')
if [ "$needed" != "ld-linux-x86-64.so.2 libc.so.6 " ]; then
    echo "package-windows: $linux/liblsmtp.so.1 needs more than the C library: $needed" >&2
    exit 1
fi
for arch in x64 x86; do
    case "$arch" in
        x64) toolchain=mingw-w64-x86_64; triplet=x86_64-w64-mingw32; pointer_size=8 ;;
        x86) toolchain=mingw-w64-i686; triplet=i686-w64-mingw32; pointer_size=4 ;;
    esac
    dir="build/package-$arch"
    cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DLSMTP_WERROR=OFF -DLSMTP_TESTS=OFF -DCMAKE_SHARED_LINKER_FLAGS=-s -DCMAKE_EXE_LINKER_FLAGS=-s >/dev/null
    cmake --build "$dir" -j "$(nproc)" --target lsmtp lsmtp-send
    sh tests/windows/check-dll.sh "$triplet-objdump" "$dir/bin/lsmtp.dll" "$version"
    sh tests/windows/check-import-libraries.sh llvm-nm llvm-readobj "$pointer_size" "$dir/liblsmtp.dll.a" \
        "$dir/lsmtp.lib"

    # Unpacked side by side, the two architectures keep apart.
    name="lsmtp-$version-win-$arch"
    stage="$dir/stage"
    rm -rf "$stage"
    mkdir -p "$stage/$name/bin" "$stage/$name/lib" "$stage/$name/include" "$stage/$name/bindings"
    cp "$dir/bin/lsmtp.dll" "$dir/bin/lsmtp-send.exe" "$stage/$name/bin/"
    cp "$dir/lsmtp.lib" "$dir/liblsmtp.dll.a" "$dir/lsmtp.def" "$stage/$name/lib/"
    cp "$dir/include/lsmtp.h" "$stage/$name/include/"
    # Windows line ends, for every editor there (and VB6 reads no other).
    for text in LICENSE doc/README-windows.txt bindings/csharp/Lsmtp.cs bindings/vb/lsmtp.bas \
        bindings/pascal/lsmtp.pas; do
        case "$text" in
            bindings/*) target="$stage/$name/bindings/${text##*/}" ;;
            *) target="$stage/$name/${text##*/}" ;;
        esac
        sed 's/$/\r/' "$text" >"$target"
    done
    archive="$(pwd)/dist/$name.zip"
    rm -f "$archive"
    (cd "$stage" && zip -q -X -r "$archive" "$name")
    echo "$archive:"
    (cd "$stage" && find . -type f | sort | xargs ls -l | awk '{ printf "  %9d %s\n", $5, substr($9, 3) }')
done

# The NuGet package: a zip in NuGet's layout, with the content types and
# the relationship of Open Packaging Conventions that older clients read.
stage=build/package-nuget
rm -rf "$stage"
mkdir -p "$stage/lib/net47" "$stage/build" "$stage/_rels" "$stage/runtimes/linux-x64/native"
for arch in x64 x86; do
    mkdir -p "$stage/runtimes/win-$arch/native"
    cp "build/package-$arch/bin/lsmtp.dll" "$stage/runtimes/win-$arch/native/"
done
cp -L "$linux/liblsmtp.so.1" "$stage/runtimes/linux-x64/native/"
copyright=$(grep -m 1 '^Copyright ' LICENSE)
printf '%s\n' "[assembly: System.Reflection.AssemblyTitle(\"lsmtp for .NET\")]" \
    "[assembly: System.Reflection.AssemblyProduct(\"lsmtp\")]" \
    "[assembly: System.Reflection.AssemblyCopyright(\"$copyright\")]" \
    "[assembly: System.Reflection.AssemblyVersion(\"$version.0\")]" \
    "[assembly: System.Reflection.AssemblyFileVersion(\"$version.0\")]" \
    "[assembly: System.Reflection.AssemblyInformationalVersion(\"$version\")]" \
    "[assembly: System.Runtime.Versioning.TargetFramework(\".NETFramework,Version=v4.7\", FrameworkDisplayName = \".NET Framework 4.7\")]" \
    >"build/package-nuget-assembly.cs"
mcs -nologo -warnaserror -optimize -sdk:4.7-api -target:library -doc:"$stage/lib/net47/Lsmtp.xml" \
    -out:"$stage/lib/net47/Lsmtp.dll" bindings/csharp/Lsmtp.cs build/package-nuget-assembly.cs
cp bindings/csharp/Lsmtp.targets "$stage/build/"
cp bindings/csharp/README.md "$stage/"
# The package's manifest: NuGet reads it under the name Lsmtp.nuspec.
sed -e "s/[$]version[$]/$version/" -e "s/[$]copyright[$]/$copyright/" bindings/csharp/Lsmtp.package.xml >"$stage/Lsmtp.nuspec"
printf '%s\n' '<?xml version="1.0" encoding="utf-8"?>' \
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">' \
    '  <Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml" />' \
    '  <Default Extension="nuspec" ContentType="application/octet" />' \
    '  <Default Extension="dll" ContentType="application/octet" />' \
    '  <Default Extension="xml" ContentType="application/octet" />' \
    '  <Default Extension="targets" ContentType="application/octet" />' \
    '  <Default Extension="md" ContentType="application/octet" />' \
    '  <Override PartName="/runtimes/linux-x64/native/liblsmtp.so.1" ContentType="application/octet" />' \
    '</Types>' >"$stage/[Content_Types].xml"
printf '%s\n' '<?xml version="1.0" encoding="utf-8"?>' \
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">' \
    '  <Relationship Type="http://schemas.microsoft.com/packaging/2010/07/manifest" Target="/Lsmtp.nuspec" Id="R1" />' \
    '</Relationships>' >"$stage/_rels/.rels"
nupkg="$(pwd)/dist/Lsmtp.$version.nupkg"
rm -f "$nupkg"
(cd "$stage" && zip -q -X -D -r "$nupkg" .)
echo "$nupkg:"
unzip -l "$nupkg" | sed 's/^/  /'

(cd dist && sha256sum "lsmtp-$version-win-x64.zip" "lsmtp-$version-win-x86.zip" "Lsmtp.$version.nupkg" >SHA256SUMS)
echo "dist/SHA256SUMS:"
sed 's/^/  /' dist/SHA256SUMS
