package com.jpos.scanner.api;

/** UnifiedPOS scan data types, as ScanDataType (property 10002) gives them. */
public final class ScanDataType {
    private ScanDataType() {}

    public static final int SCAN_SDT_UNKNOWN = 0;
    public static final int SCAN_SDT_UPCA = 101;
    public static final int SCAN_SDT_UPCE = 102;
    public static final int SCAN_SDT_EAN8 = 103;
    public static final int SCAN_SDT_EAN13 = 104;
    public static final int SCAN_SDT_TF = 105;
    public static final int SCAN_SDT_ITF = 106;
    public static final int SCAN_SDT_Codabar = 107;
    public static final int SCAN_SDT_Code39 = 108;
    public static final int SCAN_SDT_Code93 = 109;
    public static final int SCAN_SDT_Code128 = 110;
    public static final int SCAN_SDT_UPCA_S = 111;
    public static final int SCAN_SDT_UPCE_S = 112;
    public static final int SCAN_SDT_EAN8_S = 118;
    public static final int SCAN_SDT_EAN13_S = 119;
    public static final int SCAN_SDT_EAN128 = 120;
    public static final int SCAN_SDT_OCRB = 122;
    public static final int SCAN_SDT_GS1DATABAR = 131;
    public static final int SCAN_SDT_GS1DATABAR_E = 132;
    public static final int SCAN_SDT_PDF417 = 201;
    public static final int SCAN_SDT_MAXICODE = 202;
    public static final int SCAN_SDT_DATAMATRIX = 203;
    public static final int SCAN_SDT_QRCODE = 204;
    public static final int SCAN_SDT_UQRCODE = 205;
    public static final int SCAN_SDT_AZTEC = 206;
    public static final int SCAN_SDT_UPDF417 = 207;
    public static final int SCAN_SDT_OTHER = 501;

    private static final Object[][] NAMES = {
        {SCAN_SDT_UNKNOWN, "SCAN_SDT_UNKNOWN", "unknown symbology"},
        {SCAN_SDT_UPCA, "SCAN_SDT_UPCA", "UPC-A"},
        {SCAN_SDT_UPCE, "SCAN_SDT_UPCE", "UPC-E"},
        {SCAN_SDT_EAN8, "SCAN_SDT_EAN8", "EAN-8 (JAN-8)"},
        {SCAN_SDT_EAN13, "SCAN_SDT_EAN13", "EAN-13 (JAN-13)"},
        {SCAN_SDT_TF, "SCAN_SDT_TF", "Standard (discrete) 2 of 5"},
        {SCAN_SDT_ITF, "SCAN_SDT_ITF", "Interleaved 2 of 5"},
        {SCAN_SDT_Codabar, "SCAN_SDT_Codabar", "Codabar"},
        {SCAN_SDT_Code39, "SCAN_SDT_Code39", "Code 39"},
        {SCAN_SDT_Code93, "SCAN_SDT_Code93", "Code 93"},
        {SCAN_SDT_Code128, "SCAN_SDT_Code128", "Code 128"},
        {SCAN_SDT_UPCA_S, "SCAN_SDT_UPCA_S", "UPC-A with supplemental"},
        {SCAN_SDT_UPCE_S, "SCAN_SDT_UPCE_S", "UPC-E with supplemental"},
        {SCAN_SDT_EAN8_S, "SCAN_SDT_EAN8_S", "EAN-8 with supplemental"},
        {SCAN_SDT_EAN13_S, "SCAN_SDT_EAN13_S", "EAN-13 with supplemental"},
        {SCAN_SDT_EAN128, "SCAN_SDT_EAN128", "EAN-128"},
        {SCAN_SDT_OCRB, "SCAN_SDT_OCRB", "OCR-B"},
        {SCAN_SDT_GS1DATABAR, "SCAN_SDT_GS1DATABAR", "GS1 DataBar"},
        {SCAN_SDT_GS1DATABAR_E, "SCAN_SDT_GS1DATABAR_E", "GS1 DataBar Expanded"},
        {SCAN_SDT_PDF417, "SCAN_SDT_PDF417", "PDF417"},
        {SCAN_SDT_MAXICODE, "SCAN_SDT_MAXICODE", "MaxiCode"},
        {SCAN_SDT_DATAMATRIX, "SCAN_SDT_DATAMATRIX", "Data Matrix"},
        {SCAN_SDT_QRCODE, "SCAN_SDT_QRCODE", "QR Code"},
        {SCAN_SDT_UQRCODE, "SCAN_SDT_UQRCODE", "Micro QR Code"},
        {SCAN_SDT_AZTEC, "SCAN_SDT_AZTEC", "Aztec"},
        {SCAN_SDT_UPDF417, "SCAN_SDT_UPDF417", "Micro PDF417"},
        {SCAN_SDT_OTHER, "SCAN_SDT_OTHER", "other"},
    };

    private static Object[] row(int type) {
        for (Object[] r : NAMES) {
            if ((Integer) r[0] == type) return r;
        }
        return null;
    }

    /** The UnifiedPOS constant name, or "SCAN_SDT_?(n)" for a number this service never gives. */
    public static String name(int type) {
        Object[] r = row(type);
        return r == null ? "SCAN_SDT_?(" + type + ")" : (String) r[1];
    }

    /** A readable symbology name, e.g. "QR Code". */
    public static String describe(int type) {
        Object[] r = row(type);
        return r == null ? "type " + type : (String) r[2];
    }
}
