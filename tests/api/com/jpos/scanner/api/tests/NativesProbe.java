package com.jpos.scanner.api.tests;

import com.jpos.scanner.Kolvex;
import com.jpos.scanner.KolvexLoader;
import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;

/**
 * The bundled-natives loader in a real JVM (tests/api/natives.sh runs it).
 *
 * <ul>
 *   <li>{@code load [wait]}: loads com.jpos.scanner.Kolvex (with "wait", only after a line
 *       arrives on standard input, so that several JVMs start loading together), calls one
 *       native method and prints "LOADED source=... state=N";
 *   <li>{@code platforms}: checks the platform folder chosen for a table of JVM properties.
 * </ul>
 * Each failed check prints a "FAIL " line; the exit status is 0 when all held.
 */
public final class NativesProbe {
    private NativesProbe() {}

    public static void main(String[] args) throws Exception {
        String mode = args.length > 0 ? args[0] : "";
        if (mode.equals("load")) {
            if (args.length > 1 && args[1].equals("wait")) {
                System.out.println("WAITING");
                System.out.flush();
                new BufferedReader(new InputStreamReader(System.in, StandardCharsets.UTF_8))
                        .readLine();
            }
            // PIDX_State of a closed service: OPOS_S_CLOSED (1).
            int state = new Kolvex().GetPropertyNumber(9);
            System.out.println("LOADED source=" + KolvexLoader.source() + " state=" + state);
            System.exit(state == 1 ? 0 : 1);
        } else if (mode.equals("platforms")) {
            String[][] rows = {
                // os.name, os.arch, sun.arch.data.model, folder (null: none)
                {"Linux", "amd64", "64", "linux-x86_64"},
                {"Linux", "x86_64", "64", "linux-x86_64"},
                {"Linux", "i386", "32", null},
                {"Linux", "aarch64", "64", null},
                {"Windows 10", "amd64", "64", "windows-x86_64"},
                {"Windows 10", "x86", "32", "windows-x86"},
                {"Windows 7", "i686", "32", "windows-x86"},
                {"Windows Server 2019", "amd64", "32", "windows-x86"},
                {"Windows 11", "aarch64", "64", null},
                {"Mac OS X", "x86_64", "64", null},
            };
            int failures = 0;
            for (String[] r : rows) {
                String got = KolvexLoader.platform(r[0], r[1], r[2]);
                boolean same = r[3] == null ? got == null : r[3].equals(got);
                if (!same) {
                    System.out.println("FAIL platform(" + r[0] + ", " + r[1] + ", " + r[2]
                            + "): want " + r[3] + ", got " + got);
                    failures++;
                }
            }
            if (failures == 0) System.out.println("PASS platforms");
            System.exit(failures == 0 ? 0 : 1);
        } else {
            System.err.println("usage: NativesProbe load [wait] | platforms");
            System.exit(2);
        }
    }
}
