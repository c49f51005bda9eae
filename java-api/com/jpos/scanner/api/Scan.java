package com.jpos.scanner.api;

import java.nio.charset.StandardCharsets;
import java.util.Arrays;

/** One delivered scan: its label, the full scan data and the UnifiedPOS scan data type. */
public final class Scan {
    private final byte[] label;
    private final byte[] data;
    private final int type;

    public Scan(byte[] label, byte[] data, int type) {
        this.label = label == null ? new byte[0] : label.clone();
        this.data = data == null ? new byte[0] : data.clone();
        this.type = type;
    }

    /** ScanDataLabel: the label alone; empty unless DecodeData is set. */
    public byte[] getLabel() {
        return label.clone();
    }

    /** ScanData: the bytes as the scanner sent them, without the code identifier. */
    public byte[] getData() {
        return data.clone();
    }

    /** ScanDataType, one of the {@link ScanDataType} numbers. */
    public int getType() {
        return type;
    }

    /** The label as text, each byte one character (labels are 8-bit, often with NUL bytes). */
    public String getLabelText() {
        return new String(label, StandardCharsets.ISO_8859_1);
    }

    @Override
    public String toString() {
        return ScanDataType.name(type) + " \"" + getLabelText() + "\"";
    }

    @Override
    public boolean equals(Object o) {
        if (!(o instanceof Scan)) return false;
        Scan s = (Scan) o;
        return type == s.type && Arrays.equals(label, s.label) && Arrays.equals(data, s.data);
    }

    @Override
    public int hashCode() {
        return 31 * (31 * Arrays.hashCode(label) + Arrays.hashCode(data)) + type;
    }
}
