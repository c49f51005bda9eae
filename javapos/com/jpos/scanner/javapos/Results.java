package com.jpos.scanner.javapos;

import jpos.JposConst;
import jpos.JposException;

/**
 * Result codes to JposException. The service's result codes are the OPOS numbers, which are
 * the JavaPOS ones too, so each maps to itself; the message names the operation, the code and
 * the reason the natives give.
 */
final class Results {
    private Results() {}

    static final int SUCCESS = 0;

    private static final String[] NAMES = {
        "JPOS_E_CLOSED", "JPOS_E_CLAIMED", "JPOS_E_NOTCLAIMED", "JPOS_E_NOSERVICE",
        "JPOS_E_DISABLED", "JPOS_E_ILLEGAL", "JPOS_E_NOHARDWARE", "JPOS_E_OFFLINE",
        "JPOS_E_NOEXIST", "JPOS_E_EXISTS", "JPOS_E_FAILURE", "JPOS_E_TIMEOUT", "JPOS_E_BUSY",
        "JPOS_E_EXTENDED", "JPOS_E_DEPRECATED",
    };

    static boolean isJposError(int code) {
        return code >= JposConst.JPOS_E_CLOSED && code <= JposConst.JPOS_E_DEPRECATED;
    }

    /** "JPOS_E_ILLEGAL" for 106; "result 7" for a number that is no JavaPOS error code. */
    static String name(int code) {
        return isJposError(code) ? NAMES[code - JposConst.JPOS_E_CLOSED] : "result " + code;
    }

    /**
     * The exception for a failed native operation: the same code, or JPOS_E_FAILURE with the
     * native number as the extended code when the natives gave something else.
     */
    static JposException failed(String operation, int code, String reason) {
        return failed(operation, code, reason, "");
    }

    /** The same, with a note after the reason, e.g. "after 4 attempts in 300 ms". */
    static JposException failed(String operation, int code, String reason, String note) {
        String msg = operation + " failed: " + name(code) + " (" + code + ")";
        if (reason != null && !reason.isEmpty()) msg += ": " + reason;
        if (!note.isEmpty()) msg += " " + note;
        if (isJposError(code)) return new JposException(code, msg);
        return new JposException(JposConst.JPOS_E_FAILURE, code, msg);
    }
}
