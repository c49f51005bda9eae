package com.jpos.scanner.demo;

import com.jpos.scanner.api.Scan;
import com.jpos.scanner.api.ScanDataType;
import com.jpos.scanner.api.ScannerException;
import com.jpos.scanner.api.ScannerSession;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * Opens, claims and enables a scanner through the Java API (ScannerSession over the Kolvex
 * service) and prints each scan as it arrives: symbology name, ScanDataType and label. Then
 * releases and closes it.
 *
 * Usage: ScanPrinter DEVTYPE COMMTYPE COMPORT [COUNT]
 *   DEVTYPE 1 to 4; COMMTYPE 1 serial ("COM"), 2 "udp", 3 "HID"; COMPORT the N of COMN (serial
 *   only); COUNT scans to print before closing (0 or none: until a line is typed).
 */
public final class ScanPrinter {
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
        ScannerSession session;
        try {
            session = ScannerSession.builder()
                    .deviceType(devType)
                    .communication(commType, port)
                    .decodeData(true)
                    .pollInterval(5, TimeUnit.MILLISECONDS)
                    .open();
        } catch (ScannerException e) {
            System.out.println(e.getMessage() + " (ResultCode " + e.getResultCode() + ")");
            System.exit(1);
            return;
        }
        System.out.println("claimed and enabled (device type " + devType + "); waiting for scans");
        System.out.println("READY");
        System.out.flush();

        AtomicInteger printed = new AtomicInteger();
        CountDownLatch enough = new CountDownLatch(1);
        session.listen((Scan scan) -> {
            int n = printed.incrementAndGet();
            System.out.printf("scan %d: %-22s ScanDataType %3d  label %s%n", n,
                    ScanDataType.describe(scan.getType()), scan.getType(), printable(scan.getLabel()));
            System.out.flush();
            if (count > 0 && n >= count) enough.countDown();
        });
        if (count > 0) {
            enough.await();
        } else {
            System.in.read();
        }
        session.close();
        System.out.println("released and closed after " + printed.get() + " scans");
        System.out.println("DONE");
        System.out.flush();
    }
}
