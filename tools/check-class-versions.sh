#!/usr/bin/env bash
# Checks that every jar a build ships holds Java 8 class files (major version 52) only, so
# that a Java 8 JVM loads them.
#   tools/check-class-versions.sh BUILD-DIR...     (e.g. build/linux build/win64)
# Looks at every BUILD-DIR/lib/*.jar; kolvex.jar and kolvex-api.jar must be there.
# Prints one line per jar and exits non-zero when a class file has another version, a jar
# cannot be read, or a required jar is missing.
set -uo pipefail
[ $# -ge 1 ] || { sed -n '2,6p' "$0"; exit 2; }
status=0
for build in "$@"; do
    for need in kolvex.jar kolvex-api.jar; do
        [ -f "$build/lib/$need" ] || { echo "FAIL $build/lib/$need: missing"; status=1; }
    done
    for jar in "$build"/lib/*.jar; do
        [ -f "$jar" ] || continue
        python3 - "$jar" <<'PY' || status=1
import struct, sys, zipfile
jar = sys.argv[1]
want = 52
try:
    z = zipfile.ZipFile(jar)
    bad, count = [], 0
    for name in z.namelist():
        if not name.endswith(".class"):
            continue
        head = z.read(name)[:8]
        if len(head) < 8 or head[:4] != b"\xca\xfe\xba\xbe":
            bad.append("%s (not a class file)" % name)
            continue
        count += 1
        major = struct.unpack(">H", head[6:8])[0]
        if major != want:
            bad.append("%s (major %d)" % (name, major))
except Exception as e:  # unreadable or not a zip
    print("FAIL %s: %s" % (jar, e))
    sys.exit(1)
if bad:
    print("FAIL %s: %d of %d class files are not major version %d: %s"
          % (jar, len(bad), count, want, ", ".join(bad[:5])))
    sys.exit(1)
print("ok   %s: %d class files, all major version %d (Java 8)" % (jar, count, want))
PY
    done
done
[ $status -eq 0 ] && echo "class versions: passed" || echo "class versions: FAILED"
exit $status
