package com.jpos.scanner.tests;

import static com.jpos.scanner.api.ResultCode.*;
import static com.jpos.scanner.api.ScannerProperty.*;
import static com.jpos.scanner.api.ScannerSession.COMM_HID;
import static com.jpos.scanner.api.ScannerSession.COMM_SERIAL;
import static com.jpos.scanner.api.ScannerSession.COMM_UDP;
import static com.jpos.scanner.api.ScannerSession.DEV_TYPE1;
import static com.jpos.scanner.api.ScannerSession.DEV_TYPE2;
import static com.jpos.scanner.api.ScannerSession.DEV_TYPE3;

import com.jpos.scanner.Kolvex;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;

/**
 * Runs one scenario against the real libKolvex in this JVM (one service object per process,
 * so each scenario gets a JVM of its own). Exit status 0 when every check held.
 * Usage: KolvexJvmTest SCENARIO [ADDON-LIBRARY]
 */
public final class KolvexJvmTest {
    private static int failures;
    private static final Kolvex k = new Kolvex();

    // Property indexes, State values, result codes, device and communication types: the
    // Java API's constants, which mirror service/ScannerTypes.h.

    private KolvexJvmTest() {}

    static void eq(String what, long want, long got) {
        if (want != got) {
            System.out.println("FAIL " + what + ": want " + want + ", got " + got);
            failures++;
        }
    }

    static void bytes(String what, byte[] want, byte[] got) {
        if (got == null || !Arrays.equals(want, got)) {
            System.out.println("FAIL " + what + ": want " + Arrays.toString(want) + ", got "
                    + (got == null ? "null" : Arrays.toString(got)));
            failures++;
        }
    }

    static byte[] ascii(String s) {
        return s.getBytes(StandardCharsets.ISO_8859_1);
    }

    static byte[] b(int... v) {
        byte[] out = new byte[v.length];
        for (int i = 0; i < v.length; i++) out[i] = (byte) v[i];
        return out;
    }

    static byte[] concat(byte[] a, byte[] c) {
        byte[] out = Arrays.copyOf(a, a.length + c.length);
        System.arraycopy(c, 0, out, a.length, c.length);
        return out;
    }

    /** A version-1 data packet of device type 3: 04 FF, length, code id, 3 bytes, label. */
    static byte[] packetV1(int codeId, byte[] label) {
        byte[] head = b(0x04, 0xFF, label.length >> 8, label.length & 0xFF, codeId, 0, 0, 0);
        return concat(head, label);
    }

    static void numbers(String when, int[][] table) {
        for (int[] row : table) eq(when + " GetPropertyNumber(" + row[0] + ")", row[1], k.GetPropertyNumber(row[0]));
    }

    static void strings(String when, Object[][] table) {
        for (Object[] row : table)
            bytes(when + " GetPropertyString(" + row[0] + ")", ascii((String) row[1]), k.GetPropertyString((Integer) row[0]));
    }

    /** Every native before Open. */
    static void closed() {
        numbers("closed", new int[][] {
            {PIDX_Claimed, 0}, {PIDX_DataEventEnabled, 0}, {PIDX_DeviceEnabled, 0}, {PIDX_FreezeEvents, 0}, {PIDX_OutputID, 0},
            {PIDX_ResultCode, OPOS_E_CLOSED}, {PIDX_ResultCodeExtended, 0}, {PIDX_ServiceObjectVersion, 1013005}, {PIDX_State, OPOS_S_CLOSED}, {PIDX_AutoDisable, 0},
            {PIDX_BinaryConversion, 0}, {PIDX_DataCount, 0}, {PIDX_PowerNotify, 0}, {PIDX_PowerState, 0}, {PIDX_CapPowerReporting, 0},
            {PIDXScan_DecodeData, 0}, {PIDXScan_ScanDataType, 0}, {0, 0}, {15, 0}, {-1, 0}});
        strings("closed", new Object[][] {
            {PIDX_CheckHealthText, "Service Not connected"}, {PIDX_DeviceDescription, "Scanner"}, {PIDX_DeviceName, ""},
            {PIDX_ServiceObjectDescription, "Opos Scanner Service Object"}, {PIDXScan_ScanData, ""}, {PIDXScan_ScanDataLabel, ""},
            {0, ""}, {1000005, ""}});
        eq("Close before Open", 0, k.Close());
        eq("ClaimDevice before Open", OPOS_E_CLOSED, k.ClaimDevice(1000));
        eq("ClearInput before Open", OPOS_E_CLOSED, k.ClearInput());
        eq("ReleaseDevice before Open", OPOS_E_CLOSED, k.ReleaseDevice());
        eq("DirectIO", 0, k.DirectIO(7, new int[] {1}, "x"));
        eq("SetPropertyNumber(2, 1) before Open", 0, k.SetPropertyNumber(PIDX_DataEventEnabled, 1));
        eq("DataEventEnabled kept", 0, k.GetPropertyNumber(PIDX_DataEventEnabled));
        k.COFreezeEvents(1);
        eq("COFreezeEvents before Open changes nothing", 0, k.GetPropertyNumber(PIDX_FreezeEvents));
        eq("Framework untouched", 0, Feed.count("open") + Feed.count("write"));
    }

    /** Open, the dispatch tables while opened, setters' ResultCode, Close. */
    static void opened() {
        eq("Open", OPOS_SUCCESS, k.Open(DEV_TYPE1, COMM_UDP, 0, 0));
        eq("second Open refused", OPOS_E_ILLEGAL, k.Open(DEV_TYPE1, COMM_UDP, 0, 0));
        numbers("opened", new int[][] {
            {PIDX_ResultCode, 0}, {PIDX_State, OPOS_S_IDLE},
            {PIDX_PowerState, OPOS_PS_UNKNOWN}, {PIDX_DataCount, 0}, {PIDX_Claimed, 0}, {PIDX_PowerNotify, 0}, {PIDX_CapPowerReporting, 0}});
        strings("opened", new Object[][] {
            {PIDX_CheckHealthText, "Check Complete"}, {PIDX_DeviceDescription, ""}, {PIDX_DeviceName, ""},
            {PIDX_ServiceObjectDescription, "Opos Scanner Service Object"}, {PIDXScan_ScanData, ""}});

        // index, value, expected read-back, expected ResultCode
        int[][] setters = {
            {PIDX_AutoDisable, 2, 2, 0}, {PIDX_BinaryConversion, 1, 1, 0}, {PIDXScan_DecodeData, 1, 1, 0},
            {PIDX_FreezeEvents, 1, 1, 0}, {PIDX_FreezeEvents, 0, 0, 0}, {PIDX_DataEventEnabled, 1, 1, 0},
            {PIDX_DeviceEnabled, 1, 0, OPOS_E_NOTCLAIMED}};
        for (int[] s : setters) {
            eq("SetPropertyNumber(" + s[0] + ") result", 0, k.SetPropertyNumber(s[0], s[1]));
            eq("read back " + s[0], s[2], k.GetPropertyNumber(s[0]));
            eq("ResultCode after " + s[0], s[3], k.GetPropertyNumber(PIDX_ResultCode));
        }
        // Read-only indexes: neither the property nor ResultCode changes.
        k.SetPropertyNumber(PIDX_AutoDisable, 0);  // ResultCode 0
        for (int idx : new int[] {PIDX_OutputID, PIDX_Claimed, PIDX_ServiceObjectVersion}) {
            int before = k.GetPropertyNumber(idx);
            eq("SetPropertyNumber(" + idx + ") result", 0, k.SetPropertyNumber(idx, 55));
            eq("read-only " + idx + " unchanged", before, k.GetPropertyNumber(idx));
            eq("ResultCode unchanged by " + idx, 0, k.GetPropertyNumber(PIDX_ResultCode));
        }
        eq("ReleaseDevice unclaimed", OPOS_E_NOTCLAIMED, k.ReleaseDevice());
        eq("ClearInput unclaimed", 0, k.ClearInput());
        eq("tvx_clear called", 1, Feed.count("clear"));
        eq("Close", 0, k.Close());
        eq("State after Close", OPOS_S_CLOSED, k.GetPropertyNumber(PIDX_State));
        eq("ResultCode after Close", OPOS_E_CLOSED, k.GetPropertyNumber(PIDX_ResultCode));
        eq("DecodeData kept after Close", 1, k.GetPropertyNumber(PIDXScan_DecodeData));
        eq("Open COM port 0", OPOS_E_NOEXIST, k.Open(DEV_TYPE2, COMM_SERIAL, 0, 0));
        eq("State after refused Open", OPOS_S_CLOSED, k.GetPropertyNumber(PIDX_State));
        eq("Open with unusable communication type", 0, k.Open(DEV_TYPE2, 7, 0, 0));
        eq("ClaimDevice unusable communication type", OPOS_E_NOEXIST, k.ClaimDevice(0));
        eq("no channel opened", 0, Feed.count("open"));
    }

    /** Device type 3: claim with ACK, a scan with a NUL in its label delivered to Java. */
    static void scan() {
        Feed.answerFrames(0x06);
        eq("Open", OPOS_SUCCESS, k.Open(DEV_TYPE3, COMM_HID, 0, 0));
        eq("ClaimDevice", 0, k.ClaimDevice(0));
        eq("Claimed", 1, k.GetPropertyNumber(PIDX_Claimed));
        eq("DeviceEnabled after claim", 0, k.GetPropertyNumber(PIDX_DeviceEnabled));
        k.SetPropertyNumber(PIDXScan_DecodeData, 1);
        k.SetPropertyNumber(PIDX_DeviceEnabled, 1);
        eq("DeviceEnabled", 1, k.GetPropertyNumber(PIDX_DeviceEnabled));

        byte[] label = b('4', '0', 0, '1', '2', '3', '4', '5', '6', '7', '8', '9', 0xE9);
        byte[] second = ascii("SECOND");
        Feed.deliver(concat(packetV1(0x02, label), packetV1(0x0D, second)));
        eq("DataCount", 2, k.GetPropertyNumber(PIDX_DataCount));
        eq("nothing delivered yet", 0, k.GetPropertyString(PIDXScan_ScanData).length);

        k.SetPropertyNumber(PIDX_DataEventEnabled, 1);
        eq("DataCount after event", 1, k.GetPropertyNumber(PIDX_DataCount));
        eq("DataEventEnabled reset", 0, k.GetPropertyNumber(PIDX_DataEventEnabled));
        eq("ScanDataType Code 128", 110, k.GetPropertyNumber(PIDXScan_ScanDataType));
        bytes("ScanData", label, k.GetPropertyString(PIDXScan_ScanData));
        bytes("ScanDataLabel", label, k.GetPropertyString(PIDXScan_ScanDataLabel));

        // COFreezeEvents: frozen, DataEventEnabled delivers nothing; unfreezing delivers.
        k.COFreezeEvents(1);
        eq("FreezeEvents", 1, k.GetPropertyNumber(PIDX_FreezeEvents));
        k.SetPropertyNumber(PIDX_DataEventEnabled, 1);
        eq("frozen: still queued", 1, k.GetPropertyNumber(PIDX_DataCount));
        k.COFreezeEvents(0);
        eq("unfrozen: delivered", 0, k.GetPropertyNumber(PIDX_DataCount));
        eq("ScanDataType Code 39", 108, k.GetPropertyNumber(PIDXScan_ScanDataType));
        bytes("second ScanData", second, k.GetPropertyString(PIDXScan_ScanData));

        eq("ReleaseDevice", 0, k.ReleaseDevice());
        eq("DeviceEnabled after release", 1, k.GetPropertyNumber(PIDX_DeviceEnabled));
        Feed.deliver(packetV1(0x02, label));
        eq("chunk after release dropped", 0, k.GetPropertyNumber(PIDX_DataCount));
        eq("Close", 0, k.Close());
        bytes("ScanData while closed", new byte[0], k.GetPropertyString(PIDXScan_ScanData));
        eq("channel closed", 1, Feed.count("close"));
    }

    /** A device that refuses the claim frame: 111 at once, not claimed. */
    static void claimNak() {
        Feed.answerFrames(0x15);
        eq("Open", OPOS_SUCCESS, k.Open(DEV_TYPE3, COMM_HID, 0, 0));
        eq("ClaimDevice refused", OPOS_E_FAILURE, k.ClaimDevice(0));
        eq("ResultCode", OPOS_E_FAILURE, k.GetPropertyNumber(PIDX_ResultCode));
        eq("Claimed", 0, k.GetPropertyNumber(PIDX_Claimed));
        eq("Close", 0, k.Close());
    }

    /** LoadAddOn with the test add-on library; a missing library leaves LoadAddOn at 1. */
    static void addOn(String library) {
        eq("LoadAddOn missing library", 1, k.LoadAddOn("/nonexistent/libNoSuch.so", "Output", 1, 1, 1, 1, 0));
        eq("LoadAddOn null strings", 1, k.LoadAddOn(null, null, 0, 0, 0, 0, 0));
        if (library == null) {
            System.out.println("FAIL no test add-on library given");
            failures++;
            return;
        }
        // Channel 0x1FF and active value 0x102 reach the function as their low bytes.
        eq("LoadAddOn", 1, k.LoadAddOn(library, "TestAddOnOutput", 0x1FF, 0x102, 1, 1, 1));
        eq("Open", OPOS_SUCCESS, k.Open(DEV_TYPE1, COMM_HID, 0, 0));
        eq("ClaimDevice", 0, k.ClaimDevice(0));
        // Claim disables: one call at the active level.
        int[] word = Feed.addOnCalls(library);
        eq("calls after claim", 3, word.length);
        k.SetPropertyNumber(PIDXScan_DecodeData, 1);
        // A disabled scanner delivers no scans: enabling pulses the output (on, off).
        k.SetPropertyNumber(PIDX_DeviceEnabled, 1);
        Feed.deliver(ascii("c012345678905"));
        eq("DataCount", 1, k.GetPropertyNumber(PIDX_DataCount));
        int[] calls = Feed.addOnCalls(library);
        eq("calls after scan", 15, calls.length);  // set, enable pulse, scan pulse
        int[][] want = {{0xFF, 2}, {0xFF, 2}, {0xFF, 0}};  // set; then the pulse: on, off
        for (int i = 0; i < want.length && 3 * i + 2 < calls.length; i++) {
            eq("call " + i + " word", calls[0], calls[3 * i]);
            eq("call " + i + " channel", want[i][0], calls[3 * i + 1]);
            eq("call " + i + " level", want[i][1], calls[3 * i + 2]);
        }
        k.SetPropertyNumber(PIDX_DataEventEnabled, 1);
        eq("ScanDataType UPC-A", 101, k.GetPropertyNumber(PIDXScan_ScanDataType));
        bytes("ScanData", ascii("012345678905"), k.GetPropertyString(PIDXScan_ScanData));
        eq("Close", 0, k.Close());
    }

    /** Several Java threads at once: every call returns a defined result. */
    static void threads() throws InterruptedException {
        eq("Open", OPOS_SUCCESS, k.Open(DEV_TYPE1, COMM_HID, 0, 0));
        eq("ClaimDevice", 0, k.ClaimDevice(0));
        Thread[] ts = new Thread[4];
        final int[] bad = new int[1];
        for (int t = 0; t < ts.length; t++) {
            ts[t] = new Thread(() -> {
                for (int i = 0; i < 2000; i++) {
                    if (k.GetPropertyNumber(8) != 1013005) synchronized (bad) { bad[0]++; }
                    if (k.GetPropertyString(PIDX_ServiceObjectDescription).length != 27) synchronized (bad) { bad[0]++; }
                    k.SetPropertyNumber(PIDX_DataEventEnabled, 1);
                }
            });
            ts[t].start();
        }
        for (int i = 0; i < 200; i++) Feed.deliver(ascii("c0123456789" + (i % 10)));
        for (Thread t : ts) t.join();
        synchronized (bad) { eq("wrong results under concurrency", 0, bad[0]); }
        eq("Close", 0, k.Close());
    }

    public static void main(String[] args) throws Exception {
        Feed.reset();
        switch (args.length > 0 ? args[0] : "") {
            case "closed": closed(); break;
            case "opened": opened(); break;
            case "scan": scan(); break;
            case "claim-nak": claimNak(); break;
            case "addon": addOn(args.length > 1 ? args[1] : null); break;
            case "threads": threads(); break;
            default:
                System.out.println("unknown scenario");
                System.exit(2);
        }
        System.out.println(failures == 0 ? "PASS" : failures + " checks failed");
        System.exit(failures == 0 ? 0 : 1);
    }
}
