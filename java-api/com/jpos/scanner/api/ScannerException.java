package com.jpos.scanner.api;

/** A scanner operation failed; {@link #getResultCode()} is the OPOS result code it gave. */
public class ScannerException extends Exception {
    private static final long serialVersionUID = 1L;
    private final int resultCode;
    private final String operation;

    public ScannerException(String operation, int resultCode) {
        super(operation + " failed: " + ResultCode.name(resultCode) + " (" + resultCode + ")");
        this.operation = operation;
        this.resultCode = resultCode;
    }

    public int getResultCode() {
        return resultCode;
    }

    /** The operation that failed, e.g. "ClaimDevice" or "SetPropertyNumber(PIDX_DeviceEnabled)". */
    public String getOperation() {
        return operation;
    }
}
