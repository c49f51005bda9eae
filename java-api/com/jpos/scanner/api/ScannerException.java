package com.jpos.scanner.api;

/**
 * A scanner operation failed; {@link #getResultCode()} is the OPOS result code it gave and
 * {@link #getReason()} the service's explanation (the framework's words, such as the port
 * tried and the operating system's answer), when it gave one.
 */
public class ScannerException extends Exception {
    private static final long serialVersionUID = 1L;
    private final int resultCode;
    private final String operation;
    private final String reason;

    public ScannerException(String operation, int resultCode) {
        this(operation, resultCode, "");
    }

    /** reason may be null or "" when the service gave none. */
    public ScannerException(String operation, int resultCode, String reason) {
        super(message(operation, resultCode, reason));
        this.operation = operation;
        this.resultCode = resultCode;
        this.reason = reason == null ? "" : reason;
    }

    // "ClaimDevice failed: OPOS_E_ILLEGAL (106): /dev/ttyS41: No such file or directory"; a
    // reason that names the operation itself is not repeated.
    private static String message(String operation, int resultCode, String reason) {
        String head = operation + " failed: ";
        String m = head + ResultCode.name(resultCode) + " (" + resultCode + ")";
        if (reason == null || reason.isEmpty()) return m;
        return m + ": " + (reason.startsWith(head) ? reason.substring(head.length()) : reason);
    }

    public int getResultCode() {
        return resultCode;
    }

    /** The operation that failed, e.g. "ClaimDevice" or "SetPropertyNumber(PIDX_DeviceEnabled)". */
    public String getOperation() {
        return operation;
    }

    /** Why it failed, as the service said it; "" when it did not say. */
    public String getReason() {
        return reason;
    }
}
