package com.jpos.scanner.demo;

import com.jpos.scanner.Kolvex;
import java.util.Map;

/**
 * Opens, claims and enables a scanner through the Kolvex service and prints each scan as it
 * arrives: symbology name, ScanDataType and label. Then releases and closes it.
 *
 * Usage: ScanPrinter DEVTYPE COMMTYPE COMPORT [COUNT]
 *   DEVTYPE 1 to 4; COMMTYPE 1 serial ("COM"), 2 "udp", 3 "HID"; COMPORT the N of COMN (serial
 *   only); COUNT scans to print before closing (0 or none: until standard input ends or a line
 *   is typed).
 */
public final class ScanPrinter {
    static final int CLAIMED = 1, DATA_EVENT_ENABLED = 2, DEVICE_ENABLED = 3, RESULT_CODE = 6,
            DATA_COUNT = 12, DECODE_DATA = 10001, SCAN_DATA_TYPE = 10002, SCAN_LABEL = 1010002;

    static final Map<Integer, String> NAMES = Map.ofEntries(
            Map.entry(101, "UPC-A"), Map.entry(102, "UPC-E"), Map.entry(103, "EAN-8"),
            Map.entry(104, "EAN-13"), Map.entry(105, "Standard 2 of 5"),
            Map.entry(106, "Interleaved 2 of 5"), Map.entry(107, "Codabar"),
            Map.entry(108, "Code 39"), Map.entry(109, "Code 93"), Map.entry(110, "Code 128"),
            Map.entry(111, "UPC-A + supplemental"), Map.entry(112, "UPC-E + supplemental"),
            Map.entry(118, "EAN-8 + supplemental"), Map.entry(119, "EAN-13 + supplemental"),
            Map.entry(120, "EAN-128"), Map.entry(122, "OCR-B"), Map.entry(131, "GS1 DataBar"),
            Map.entry(132, "GS1 DataBar Expanded"), Map.entry(201, "PDF417"),
            Map.entry(202, "MaxiCode"), Map.entry(203, "Data Matrix"), Map.entry(204, "QR Code"),
            Map.entry(205, "Micro QR Code"), Map.entry(206, "Aztec"),
            Map.entry(207, "Micro PDF417"), Map.entry(501, "other"), Map.entry(0, "unknown"));

    private ScanPrinter() {}

    static String printable(byte[] label) {
        StringBuilder s = new StringBuilder();
        for (byte b : label) {
            int v = b & 0xFF;
            if (v >= 0x20 && v < 0x7F) s.append((char) v);
            else s.append(String.format("\\x%02X", v));
        }
        return s.toString();
    }

    public static void main(String[] args) throws Exception {
        if (args.length < 3) {
            System.err.println("usage: ScanPrinter DEVTYPE COMMTYPE COMPORT [COUNT]");
            System.exit(2);
        }
        int devType = Integer.parseInt(args[0]), commType = Integer.parseInt(args[1]),
                port = Integer.parseInt(args[2]), count = args.length > 3 ? Integer.parseInt(args[3]) : 0;
        Kolvex k = new Kolvex();
        k.Open(devType, commType, port, 0);
        int rc = k.ClaimDevice(1000);
        if (rc != 0) {
            System.out.println("ClaimDevice failed: " + rc);
            k.Close();
            System.exit(1);
        }
        k.SetPropertyNumber(DECODE_DATA, 1);
        k.SetPropertyNumber(DEVICE_ENABLED, 1);
        System.out.println("claimed and enabled (device type " + devType + "); waiting for scans");
        System.out.println("READY");
        System.out.flush();

        int printed = 0;
        while (count == 0 || printed < count) {
            if (count == 0 && System.in.available() > 0) break;
            // DataCount is how the service shows a waiting scan; it raises no events.
            if (k.GetPropertyNumber(DATA_COUNT) == 0) {
                Thread.sleep(5);
                continue;
            }
            k.SetPropertyNumber(DATA_EVENT_ENABLED, 1);
            int type = k.GetPropertyNumber(SCAN_DATA_TYPE);
            byte[] label = k.GetPropertyString(SCAN_LABEL);
            printed++;
            System.out.printf("scan %d: %-22s ScanDataType %3d  label %s%n", printed,
                    NAMES.getOrDefault(type, "?"), type, printable(label));
            System.out.flush();
        }
        System.out.println("ReleaseDevice: " + k.ReleaseDevice() + ", Close: " + k.Close());
        System.out.println("DONE");
        System.out.flush();
    }
}
