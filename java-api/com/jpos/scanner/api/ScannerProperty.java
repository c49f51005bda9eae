package com.jpos.scanner.api;

/**
 * OPOS property index numbers of the Scanner service, as the native methods
 * {@code GetPropertyNumber}, {@code SetPropertyNumber} and {@code GetPropertyString} take them.
 * Numbers below 1000000 are numeric properties, the others are byte-string properties.
 * The indexes and the State values mirror service/ScannerTypes.h (same names and values).
 */
public final class ScannerProperty {
    private ScannerProperty() {}

    public static final int PIDX_Claimed = 1;
    public static final int PIDX_DataEventEnabled = 2;
    public static final int PIDX_DeviceEnabled = 3;
    public static final int PIDX_FreezeEvents = 4;
    public static final int PIDX_OutputID = 5;
    public static final int PIDX_ResultCode = 6;
    public static final int PIDX_ResultCodeExtended = 7;
    public static final int PIDX_ServiceObjectVersion = 8;
    public static final int PIDX_State = 9;
    public static final int PIDX_AutoDisable = 10;
    public static final int PIDX_BinaryConversion = 11;
    public static final int PIDX_DataCount = 12;
    public static final int PIDX_PowerNotify = 13;
    public static final int PIDX_PowerState = 14;
    public static final int PIDX_CapPowerReporting = 501;
    public static final int PIDXScan_DecodeData = 10001;
    public static final int PIDXScan_ScanDataType = 10002;

    public static final int PIDX_CheckHealthText = 1000001;
    public static final int PIDX_DeviceDescription = 1000002;
    public static final int PIDX_DeviceName = 1000003;
    public static final int PIDX_ServiceObjectDescription = 1000004;
    public static final int PIDXScan_ScanData = 1010001;
    public static final int PIDXScan_ScanDataLabel = 1010002;

    /** State values (property 9). */
    public static final int OPOS_S_CLOSED = 1;
    public static final int OPOS_S_IDLE = 2;
    public static final int OPOS_S_BUSY = 3;

    /** PowerState value (property 14): the service does not report power. */
    public static final int OPOS_PS_UNKNOWN = 2000;

    private static final Object[][] NAMES = {
        {PIDX_Claimed, "PIDX_Claimed"},
        {PIDX_DataEventEnabled, "PIDX_DataEventEnabled"},
        {PIDX_DeviceEnabled, "PIDX_DeviceEnabled"},
        {PIDX_FreezeEvents, "PIDX_FreezeEvents"},
        {PIDX_OutputID, "PIDX_OutputID"},
        {PIDX_ResultCode, "PIDX_ResultCode"},
        {PIDX_ResultCodeExtended, "PIDX_ResultCodeExtended"},
        {PIDX_ServiceObjectVersion, "PIDX_ServiceObjectVersion"},
        {PIDX_State, "PIDX_State"},
        {PIDX_AutoDisable, "PIDX_AutoDisable"},
        {PIDX_BinaryConversion, "PIDX_BinaryConversion"},
        {PIDX_DataCount, "PIDX_DataCount"},
        {PIDX_PowerNotify, "PIDX_PowerNotify"},
        {PIDX_PowerState, "PIDX_PowerState"},
        {PIDX_CapPowerReporting, "PIDX_CapPowerReporting"},
        {PIDXScan_DecodeData, "PIDXScan_DecodeData"},
        {PIDXScan_ScanDataType, "PIDXScan_ScanDataType"},
        {PIDX_CheckHealthText, "PIDX_CheckHealthText"},
        {PIDX_DeviceDescription, "PIDX_DeviceDescription"},
        {PIDX_DeviceName, "PIDX_DeviceName"},
        {PIDX_ServiceObjectDescription, "PIDX_ServiceObjectDescription"},
        {PIDXScan_ScanData, "PIDXScan_ScanData"},
        {PIDXScan_ScanDataLabel, "PIDXScan_ScanDataLabel"},
    };

    /** The OPOS name of a property index, or "PIDX_?(n)" for an index the service does not know. */
    public static String name(int index) {
        for (Object[] row : NAMES) {
            if ((Integer) row[0] == index) return (String) row[1];
        }
        return "PIDX_?(" + index + ")";
    }

    /** Whether the index names a byte-string property (read with GetPropertyString). */
    public static boolean isString(int index) {
        return index >= 1000000;
    }
}
