package com.jpos.scanner.api;

/**
 * OPOS result codes, as Open, ClaimDevice, ReleaseDevice, ClearInput and ResultCode give them.
 * The codes the service uses mirror service/ScannerTypes.h (same names and values).
 */
public final class ResultCode {
    private ResultCode() {}

    public static final int OPOS_SUCCESS = 0;
    public static final int OPOS_E_CLOSED = 101;
    public static final int OPOS_E_CLAIMED = 102;
    public static final int OPOS_E_NOTCLAIMED = 103;
    public static final int OPOS_E_NOSERVICE = 104;
    public static final int OPOS_E_DISABLED = 105;
    public static final int OPOS_E_ILLEGAL = 106;
    public static final int OPOS_E_NOHARDWARE = 107;
    public static final int OPOS_E_OFFLINE = 108;
    public static final int OPOS_E_NOEXIST = 109;
    public static final int OPOS_E_EXISTS = 110;
    public static final int OPOS_E_FAILURE = 111;
    public static final int OPOS_E_TIMEOUT = 112;
    public static final int OPOS_E_BUSY = 113;
    public static final int OPOS_E_EXTENDED = 114;

    private static final String[] NAMES = {
        "OPOS_E_CLOSED", "OPOS_E_CLAIMED", "OPOS_E_NOTCLAIMED", "OPOS_E_NOSERVICE",
        "OPOS_E_DISABLED", "OPOS_E_ILLEGAL", "OPOS_E_NOHARDWARE", "OPOS_E_OFFLINE",
        "OPOS_E_NOEXIST", "OPOS_E_EXISTS", "OPOS_E_FAILURE", "OPOS_E_TIMEOUT", "OPOS_E_BUSY",
        "OPOS_E_EXTENDED",
    };

    /** The OPOS name of a result code, or "OPOS_?(n)" for any other value. */
    public static String name(int code) {
        if (code == OPOS_SUCCESS) return "OPOS_SUCCESS";
        if (code >= OPOS_E_CLOSED && code <= OPOS_E_EXTENDED) return NAMES[code - OPOS_E_CLOSED];
        return "OPOS_?(" + code + ")";
    }
}
