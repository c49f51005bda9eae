package com.jpos.scanner;

/**
 * The native Scanner service: one service object per process behind these methods.
 * Properties are read and written by their OPOS property index. Setters report their
 * outcome in ResultCode (property 6), not in their return value. Any thread may call.
 */
public class Kolvex {
    static {
        // java.library.path first, else the natives bundled on the class path.
        KolvexLoader.load();
    }

    /** Returns 0, 106 (already open) or 109 (no such port). keepDataEvents greater than 0 keeps DataEventEnabled set after each data event. */
    public native int Open(int devType, int commuType, int comPort, int keepDataEvents);

    /** Always 0. */
    public native int Close();

    /** Loads an output add-on for device type 1. Always 1. */
    public native int LoadAddOn(String libFile, String funcName, int channel, int activeValue,
                                int pulseOnScan, int pulseMs, int suffix);

    /** 0, 101, 106, 109, 111 (refused) or 112 (no answer); the time-out is not used. */
    public native int ClaimDevice(int timeout);

    public native int ClearInput();

    /** Not supported: always 0. */
    public native int DirectIO(int command, int[] data, Object object);

    public native int ReleaseDevice();

    public native void COFreezeEvents(int freeze);

    /** The property's bytes unchanged; an empty array for an unknown index. */
    public native byte[] GetPropertyString(int index);

    /** Always 0; the outcome is in ResultCode. */
    public native int SetPropertyNumber(int index, int value);

    public native int GetPropertyNumber(int index);
}
