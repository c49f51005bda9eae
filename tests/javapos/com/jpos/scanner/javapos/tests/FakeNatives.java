package com.jpos.scanner.javapos.tests;

import static com.jpos.scanner.api.ScannerProperty.*;

import com.jpos.scanner.api.ScannerNatives;
import java.nio.charset.StandardCharsets;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.List;

/**
 * Stand-in for the native Scanner service, made by the service through the entry property
 * nativesClass. It behaves as the natives do where the JavaPOS service depends on it: one
 * FIFO of scans, a scan delivered into ScanData, ScanDataLabel and ScanDataType when
 * DataEventEnabled is set with FreezeEvents clear, DataEventEnabled then cleared, DataCount
 * lowered; setters leave their outcome in ResultCode; AutoDisable turns the device off when a
 * scan is queued. Tests script it through {@link #last} and record every call.
 */
public class FakeNatives implements ScannerNatives {
    /** The instance the service made last. */
    static volatile FakeNatives last;

    static final class Scan {
        final byte[] data, label;
        final int type;

        Scan(String data, String label, int type) {
            this.data = data.getBytes(StandardCharsets.ISO_8859_1);
            this.label = label.getBytes(StandardCharsets.ISO_8859_1);
            this.type = type;
        }
    }

    // Guarded by this.
    private final ArrayDeque<Scan> fifo = new ArrayDeque<>();
    private final List<String> calls = new ArrayList<>();
    private final ArrayDeque<Integer> claimResults = new ArrayDeque<>();
    private boolean opened, claimed;
    private int resultCode, dataEventEnabled, deviceEnabled, freezeEvents, autoDisable, decodeData;
    private byte[] scanData = new byte[0], scanLabel = new byte[0];
    private int scanType;
    private int failNextPop;  // a result code the next delivery reports instead of delivering
    private Scan arriveDuringPop;  // queued by the next delivery, as the receive path may meanwhile
    int openResult;           // what open answers (106: someone else opened the natives)
    int dataCountReads;
    Thread popThread;

    public FakeNatives() {
        last = this;
    }

    synchronized List<String> calls() {
        return new ArrayList<>(calls);
    }

    synchronized void queue(Scan s) {
        if (!claimed) return;  // the receive path takes data only while claimed
        fifo.add(s);
        if (autoDisable == 1) {
            deviceEnabled = 0;
            calls.add("autodisable");
        }
        scanQueued();
    }

    /** Hook for the event-wait variant. */
    void scanQueued() {}

    synchronized void failNextPop(int rc) {
        failNextPop = rc;
    }

    /** The next delivery queues s right after taking its scan, so DataCount does not drop. */
    synchronized void arriveDuringNextPop(Scan s) {
        arriveDuringPop = s;
    }

    synchronized void claimResults(Integer... rcs) {
        for (Integer r : rcs) claimResults.add(r);
    }

    synchronized boolean isOpened() {
        return opened;
    }

    synchronized int dataCountReads() {
        return dataCountReads;
    }

    @Override
    public synchronized int open(int devType, int commuType, int comPort, int keepDataEvents) {
        calls.add("open " + devType + " " + commuType + " " + comPort + " " + keepDataEvents);
        if (openResult != 0) return openResult;
        if (opened) return 106;
        opened = true;
        resultCode = 0;
        return 0;
    }

    @Override
    public synchronized int close() {
        calls.add("close");
        if (claimed) releaseDevice();
        fifo.clear();
        opened = false;
        closed();
        return 0;
    }

    void closed() {}

    @Override
    public synchronized int claimDevice(int timeout) {
        calls.add("claim " + timeout);
        if (!opened) return 101;
        if (claimed) return 0;
        Integer scripted = claimResults.poll();
        if (scripted != null && scripted != 0) {
            resultCode = scripted;
            return scripted;
        }
        claimed = true;
        deviceEnabled = 0;
        resultCode = 0;
        return 0;
    }

    @Override
    public synchronized int releaseDevice() {
        calls.add("release");
        if (!opened) return 101;
        if (!claimed) return 103;
        deviceEnabled = 1;  // the natives leave a released scanner enabled
        fifo.clear();
        claimed = false;
        resultCode = 0;
        return 0;
    }

    @Override
    public synchronized int clearInput() {
        calls.add("clearInput");
        if (!opened) return resultCode = 101;
        fifo.clear();
        return resultCode = 0;
    }

    @Override
    public synchronized int getNumber(int index) {
        switch (index) {
            case PIDX_Claimed:
                return claimed ? 1 : 0;
            case PIDX_DataEventEnabled:
                return dataEventEnabled;
            case PIDX_DeviceEnabled:
                return deviceEnabled;
            case PIDX_FreezeEvents:
                return freezeEvents;
            case PIDX_ResultCode:
                return opened ? resultCode : 101;
            case PIDX_State:
                return opened ? OPOS_S_IDLE : OPOS_S_CLOSED;
            case PIDX_AutoDisable:
                return autoDisable;
            case PIDX_DataCount:
                dataCountReads++;
                return opened ? fifo.size() : 0;
            case PIDXScan_DecodeData:
                return decodeData;
            case PIDXScan_ScanDataType:
                return opened ? scanType : 0;
            default:
                return 0;
        }
    }

    @Override
    public synchronized void setNumber(int index, int value) {
        calls.add("set " + ScannerPropertyName.of(index) + " " + value);
        if (!opened) {
            resultCode = 101;
            return;
        }
        resultCode = 0;
        switch (index) {
            case PIDX_DataEventEnabled:
                dataEventEnabled = value;
                if (value != 0 && freezeEvents == 0) pop();
                break;
            case PIDX_DeviceEnabled:
                if (!claimed) {
                    resultCode = 103;
                    return;
                }
                deviceEnabled = value;
                break;
            case PIDX_FreezeEvents:
                freezeEvents = value;
                if (value == 0 && dataEventEnabled != 0) pop();
                break;
            case PIDX_AutoDisable:
                autoDisable = value;
                break;
            case PIDXScan_DecodeData:
                decodeData = value;
                break;
            default:
                break;
        }
    }

    private void pop() {
        popThread = Thread.currentThread();
        if (failNextPop != 0) {
            resultCode = failNextPop;
            failNextPop = 0;
            return;
        }
        Scan s = fifo.poll();
        if (s == null) return;
        scanData = s.data;
        scanLabel = decodeData != 0 ? s.label : new byte[0];
        scanType = decodeData != 0 ? s.type : 0;
        dataEventEnabled = 0;
        if (arriveDuringPop != null) {
            Scan arriving = arriveDuringPop;
            arriveDuringPop = null;
            queue(arriving);
        }
    }

    @Override
    public synchronized byte[] getString(int index) {
        switch (index) {
            case PIDX_CheckHealthText:
                return (opened ? "Check Complete" : "Service Not connected").getBytes(StandardCharsets.ISO_8859_1);
            case PIDXScan_ScanData:
                return opened ? scanData.clone() : new byte[0];
            case PIDXScan_ScanDataLabel:
                return opened ? scanLabel.clone() : new byte[0];
            default:
                return new byte[0];
        }
    }

    /** Natives that someone else in the process opened already: Open answers 106. */
    public static final class PreOpened extends FakeNatives {
        public PreOpened() {
            openResult = 106;
        }
    }

    /** Natives that refuse the Open: 109 (no such device). */
    public static final class NoDevice extends FakeNatives {
        public NoDevice() {
            openResult = 109;
        }
    }

    /** Natives whose library cannot load. */
    public static final class Unloadable extends FakeNatives {
        public Unloadable() {
            throw new UnsatisfiedLinkError("no Kolvex in java.library.path");
        }
    }
}
