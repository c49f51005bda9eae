package com.jpos.scanner.javapos.tests;

import jpos.JposException;

/** The checks of the JavaPOS tests: each failure prints one "FAIL " line and is counted. */
final class Check {
    private Check() {}

    static int failures;

    interface JposCall {
        void run() throws Exception;
    }

    static synchronized void check(String what, boolean ok) {
        if (!ok) {
            System.out.println("FAIL " + what);
            failures++;
        }
    }

    static void eq(String what, Object want, Object got) {
        boolean same = want == null ? got == null : want.equals(got);
        check(what + ": want " + want + ", got " + got, same);
    }

    /** The call throws a JposException with this code and a message containing the text. */
    static JposException fails(String what, int code, String text, JposCall call) {
        try {
            call.run();
            check(what + ": no exception, want error code " + code, false);
            return null;
        } catch (JposException e) {
            check(what + ": error code " + e.getErrorCode() + " (" + e.getMessage() + "), want " + code,
                    e.getErrorCode() == code);
            if (text != null) {
                String m = String.valueOf(e.getMessage());
                check(what + ": message \"" + m + "\" does not mention \"" + text + "\"", m.contains(text));
            }
            return e;
        } catch (Exception e) {
            check(what + ": " + e + ", want JposException " + code, false);
            return null;
        }
    }

    /** The call succeeds. */
    static void ok(String what, JposCall call) {
        try {
            call.run();
        } catch (Exception e) {
            check(what + ": " + e, false);
        }
    }

    static void finish() {
        System.out.println(failures == 0 ? "PASS" : failures + " checks failed");
        System.exit(failures == 0 ? 0 : 1);
    }
}
