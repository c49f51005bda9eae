package com.jpos.scanner.api;

import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

/**
 * Opens a scanner through {@link ScannerSession}, prints each scan as one line
 * "SCAN name type label-hex label" and ends after a number of scans or seconds.
 *
 * <pre>
 * java -Djava.library.path=LIB -cp kolvex.jar:kolvex-api.jar com.jpos.scanner.api.ScanDemo
 *      [--type N] [--com PORT | --udp | --hid] [--count N] [--seconds S]
 * </pre>
 */
public final class ScanDemo {
    private ScanDemo() {}

    public static void main(String[] args) throws Exception {
        ScannerSession.Builder b = ScannerSession.builder();
        int count = 1;
        long seconds = 60;
        for (int i = 0; i < args.length; i++) {
            String a = args[i];
            String v = i + 1 < args.length ? args[i + 1] : null;
            if (a.equals("--type") && v != null) {
                b.deviceType(Integer.parseInt(v));
                i++;
            } else if (a.equals("--com") && v != null) {
                b.serial(Integer.parseInt(v));
                i++;
            } else if (a.equals("--udp")) {
                b.udp();
            } else if (a.equals("--hid")) {
                b.hid();
            } else if (a.equals("--count") && v != null) {
                count = Integer.parseInt(v);
                i++;
            } else if (a.equals("--seconds") && v != null) {
                seconds = Long.parseLong(v);
                i++;
            } else {
                System.err.println("usage: ScanDemo [--type N] [--com PORT | --udp | --hid]"
                        + " [--count N] [--seconds S]");
                System.exit(2);
            }
        }
        CountDownLatch left = new CountDownLatch(count);
        try (ScannerSession s = b.open()) {
            System.out.println("READY");
            s.listen(new ScanListener() {
                @Override
                public void onScan(Scan scan) {
                    StringBuilder hex = new StringBuilder();
                    for (byte x : scan.getLabel()) hex.append(String.format("%02X", x & 0xFF));
                    System.out.println("SCAN " + ScanDataType.name(scan.getType()) + " "
                            + scan.getType() + " " + hex + " " + scan.getLabelText());
                    left.countDown();
                }

                @Override
                public void onError(Exception e) {
                    System.out.println("ERROR " + e.getMessage());
                }
            });
            if (!left.await(seconds, TimeUnit.SECONDS)) {
                System.out.println("TIMEOUT");
                System.exit(1);
            }
        } catch (ScannerException e) {
            System.out.println("ERROR " + e.getMessage());
            System.exit(3);
        }
        System.out.println("DONE");
    }
}
