package jpos;

/** Compile-only declaration; the application's JavaPOS jar brings the real class. */
public class JposException extends Exception {
    protected int errorCode;
    protected int errorCodeExtended;
    private final Exception origException;

    public JposException(int errorCode) {
        this(errorCode, 0, "", null);
    }

    public JposException(int errorCode, int errorCodeExtended) {
        this(errorCode, errorCodeExtended, "", null);
    }

    public JposException(int errorCode, String description) {
        this(errorCode, 0, description, null);
    }

    public JposException(int errorCode, int errorCodeExtended, String description) {
        this(errorCode, errorCodeExtended, description, null);
    }

    public JposException(int errorCode, String description, Exception origException) {
        this(errorCode, 0, description, origException);
    }

    public JposException(int errorCode, int errorCodeExtended, String description,
            Exception origException) {
        super(description);
        this.errorCode = errorCode;
        this.errorCodeExtended = errorCodeExtended;
        this.origException = origException;
    }

    public int getErrorCode() {
        return errorCode;
    }

    public int getErrorCodeExtended() {
        return errorCodeExtended;
    }

    public Exception getOrigException() {
        return origException;
    }
}
