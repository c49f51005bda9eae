package com.jpos.scanner.javapos;

import static com.jpos.scanner.api.ScannerProperty.OPOS_S_CLOSED;
import static com.jpos.scanner.api.ScannerProperty.PIDXScan_DecodeData;
import static com.jpos.scanner.api.ScannerProperty.PIDX_AutoDisable;
import static com.jpos.scanner.api.ScannerProperty.PIDX_CheckHealthText;
import static com.jpos.scanner.api.ScannerProperty.PIDX_DataCount;
import static com.jpos.scanner.api.ScannerProperty.PIDX_DataEventEnabled;
import static com.jpos.scanner.api.ScannerProperty.PIDX_DeviceEnabled;
import static com.jpos.scanner.api.ScannerProperty.PIDX_FreezeEvents;
import static com.jpos.scanner.api.ScannerProperty.PIDX_ResultCode;
import static com.jpos.scanner.api.ScannerProperty.PIDX_State;

import com.jpos.scanner.api.ScannerEvents;
import com.jpos.scanner.api.ScannerNatives;
import java.nio.charset.StandardCharsets;
import java.util.concurrent.atomic.AtomicReference;
import java.util.concurrent.locks.ReentrantLock;
import jpos.JposConst;
import jpos.JposException;
import jpos.services.EventCallbacks;

/**
 * A JavaPOS Scanner service of level 1.10 and later over the Kolvex natives: every method of
 * ScannerService110 and JposServiceInstance. It names no jpos interface itself, so it loads
 * with any JavaPOS jar; one thin subclass per level names that level's ScannerService1xx.
 *
 * Threads: the control may call from any thread, listeners included. Operations that may wait
 * on the device (claim, release, close, DeviceEnabled, DecodeData) run one at a time; no lock
 * of this service is held while a listener runs. The natives drive one scanner per process,
 * so one service may be open per process.
 */
public abstract class KolvexScannerService {
    private static final AtomicReference<KolvexScannerService> OPEN_IN_PROCESS = new AtomicReference<>();
    private static final int FOREVER = -1;  // JPOS_FOREVER
    private static final long CLAIM_RETRY_MS = 100;

    private final ServiceLevel level;
    private final ServiceConfig cfg;
    /** One device-changing operation at a time; never held while a listener is called. */
    private final ReentrantLock operations = new ReentrantLock();

    // Guarded by this.
    private ScannerNatives n;
    private EventDelivery events;
    private String logicalName;
    private boolean opened, claimed, closing, deleted;
    private String checkHealthText = "";

    KolvexScannerService(ServiceLevel level, ServiceConfig cfg) {
        this.level = level;
        this.cfg = cfg;
    }

    // ---- state checks ----

    private static JposException error(int code, String message) {
        return new JposException(code, message);
    }

    private synchronized ScannerNatives natives(String op) throws JposException {
        if (!opened || closing) throw error(JposConst.JPOS_E_CLOSED, op + ": the service is not open");
        return n;
    }

    private synchronized EventDelivery delivery(String op) throws JposException {
        natives(op);
        return events;
    }

    private synchronized ScannerNatives claimedNatives(String op) throws JposException {
        ScannerNatives nat = natives(op);
        if (!claimed) throw error(JposConst.JPOS_E_NOTCLAIMED, op + ": the device is not claimed");
        return nat;
    }

    private ScannerNatives enabledNatives(String op) throws JposException {
        ScannerNatives nat = claimedNatives(op);
        if (nat.getNumber(PIDX_DeviceEnabled) == 0) {
            throw error(JposConst.JPOS_E_DISABLED, op + ": the device is not enabled");
        }
        return nat;
    }

    private static String reason(ScannerNatives nat) {
        return nat instanceof ScannerEvents ? ((ScannerEvents) nat).lastReason() : "";
    }

    /** Sets a native property and throws when its ResultCode is not success. */
    private static void set(ScannerNatives nat, String op, int index, boolean on) throws JposException {
        nat.setNumber(index, on ? 1 : 0);
        int rc = nat.getNumber(PIDX_ResultCode);
        if (rc != Results.SUCCESS) throw Results.failed(op, rc, reason(nat));
    }

    // ---- BaseService ----

    public void open(String logicalName, EventCallbacks cb) throws JposException {
        if (cb == null) throw error(JposConst.JPOS_E_ILLEGAL, "open: no EventCallbacks");
        operations.lock();
        try {
            synchronized (this) {
                if (deleted) throw error(JposConst.JPOS_E_ILLEGAL, "open: this service instance was deleted");
                if (opened) throw error(JposConst.JPOS_E_ILLEGAL, "open: the service is already open");
            }
            if (!OPEN_IN_PROCESS.compareAndSet(null, this)) {
                KolvexScannerService other = OPEN_IN_PROCESS.get();
                throw error(JposConst.JPOS_E_ILLEGAL, "open(\"" + logicalName + "\"): the scanner service \""
                        + (other == null ? "?" : other.name()) + "\" is already open in this process;"
                        + " the Kolvex natives drive one scanner per process");
            }
            boolean ok = false;
            ScannerNatives nat = null;
            try {
                nat = createNatives();
                int rc = nat.open(cfg.deviceType, cfg.commuType, cfg.port, 0);
                if (rc == JposConst.JPOS_E_ILLEGAL) {
                    nat = null;  // opened by someone else in this process: not ours to close
                    throw Results.failed("open", rc, "the Kolvex natives are already open in this"
                            + " process (one scanner service per process)");
                }
                if (rc != Results.SUCCESS) throw Results.failed("open", rc, reason(nat));
                if (nat.getNumber(PIDX_State) == OPOS_S_CLOSED) {
                    throw Results.failed("open", nat.getNumber(PIDX_ResultCode), reason(nat));
                }
                // The natives keep their properties from an earlier open; start from the defaults.
                nat.setNumber(PIDX_DataEventEnabled, 0);
                nat.setNumber(PIDX_FreezeEvents, 0);
                nat.setNumber(PIDX_AutoDisable, 0);
                nat.setNumber(PIDXScan_DecodeData, 0);
                EventDelivery d = new EventDelivery(nat, cb, cfg.pollMillis, logicalName);
                synchronized (this) {
                    n = nat;
                    events = d;
                    this.logicalName = logicalName;
                    opened = true;
                    claimed = false;
                    closing = false;
                    checkHealthText = "";
                }
                d.start();
                ok = true;
            } finally {
                if (!ok) {
                    if (nat != null) nat.close();
                    OPEN_IN_PROCESS.compareAndSet(this, null);
                }
            }
        } finally {
            operations.unlock();
        }
    }

    private ScannerNatives createNatives() throws JposException {
        try {
            ScannerNatives nat = cfg.natives.create();
            if (nat == null) throw new IllegalStateException("no natives");
            return nat;
        } catch (Exception | LinkageError e) {
            throw new JposException(JposConst.JPOS_E_NOSERVICE,
                    "open: cannot load the natives (" + cfg.nativesName + "): " + e, ServiceConfig.asException(e));
        }
    }

    private synchronized String name() {
        return logicalName;
    }

    public void close() throws JposException {
        EventDelivery d;
        synchronized (this) {
            natives("close");
            closing = true;
            d = events;
        }
        d.stop();  // from here on no listener runs, except the one calling us
        operations.lock();
        try {
            ScannerNatives nat;
            boolean wasClaimed;
            synchronized (this) {
                nat = n;
                wasClaimed = claimed;
            }
            if (wasClaimed) {
                d.setReporting(false);
                nat.setNumber(PIDX_DeviceEnabled, 0);
                nat.releaseDevice();
            }
            nat.close();  // wakes the event wait
            d.joinWaiter();
            synchronized (this) {
                opened = false;
                claimed = false;
                closing = false;
                n = null;
                events = null;
            }
            OPEN_IN_PROCESS.compareAndSet(this, null);
        } finally {
            operations.unlock();
        }
    }

    public void claim(int timeout) throws JposException {
        if (timeout < FOREVER) {
            throw error(JposConst.JPOS_E_ILLEGAL, "claim: time-out " + timeout
                    + " is not allowed (0 or more ms, or JPOS_FOREVER)");
        }
        operations.lock();
        try {
            ScannerNatives nat;
            synchronized (this) {
                nat = natives("claim");
                if (claimed) return;
            }
            long start = System.nanoTime();
            for (int attempt = 1;; attempt++) {
                int rc = nat.claimDevice(timeout);
                if (rc == Results.SUCCESS) break;
                long waited = (System.nanoTime() - start) / 1_000_000;
                boolean again = retryable(rc) && (timeout == FOREVER || waited < timeout);
                if (!again) {
                    String note = attempt > 1 ? "after " + attempt + " attempts in " + waited + " ms" : "";
                    throw Results.failed("claim", rc, reason(nat), note);
                }
                long pause = timeout == FOREVER ? CLAIM_RETRY_MS : Math.min(CLAIM_RETRY_MS, timeout - waited);
                // Other operations (a close) may run during the pause.
                operations.unlock();
                try {
                    Thread.sleep(Math.max(1, pause));
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                    throw error(JposConst.JPOS_E_FAILURE, "claim: interrupted while waiting for the device");
                } finally {
                    operations.lock();
                }
                synchronized (this) {
                    if (closing || !opened || n != nat) {
                        throw error(JposConst.JPOS_E_CLOSED, "claim: the service was closed");
                    }
                    if (claimed) return;  // another thread's claim got there first
                }
            }
            // A DecodeData set before the claim could not reach the device: send it now.
            if (nat.getNumber(PIDXScan_DecodeData) != 0) nat.setNumber(PIDXScan_DecodeData, 1);
            synchronized (this) {
                claimed = true;
            }
        } finally {
            operations.unlock();
        }
    }

    /** Failures that another try may cure: the port is held, the device refused or did not answer. */
    private static boolean retryable(int rc) {
        return rc == JposConst.JPOS_E_ILLEGAL || rc == JposConst.JPOS_E_FAILURE
                || rc == JposConst.JPOS_E_TIMEOUT || rc == JposConst.JPOS_E_BUSY;
    }

    public void release() throws JposException {
        operations.lock();
        try {
            ScannerNatives nat = claimedNatives("release");
            EventDelivery d = delivery("release");
            d.setReporting(false);
            if (nat.getNumber(PIDX_DeviceEnabled) != 0) nat.setNumber(PIDX_DeviceEnabled, 0);
            int rc = nat.releaseDevice();
            d.clearInput();
            synchronized (this) {
                claimed = false;
            }
            if (rc != Results.SUCCESS) throw Results.failed("release", rc, reason(nat));
        } finally {
            operations.unlock();
        }
    }

    public String getCheckHealthText() throws JposException {
        synchronized (this) {
            natives("getCheckHealthText");
            return checkHealthText;
        }
    }

    public boolean getClaimed() throws JposException {
        synchronized (this) {
            natives("getClaimed");
            return claimed;
        }
    }

    public boolean getDeviceEnabled() throws JposException {
        ScannerNatives nat;
        synchronized (this) {
            nat = natives("getDeviceEnabled");
            if (!claimed) return false;
        }
        // The natives' own value: AutoDisable turns it off after a scan.
        return nat.getNumber(PIDX_DeviceEnabled) != 0;
    }

    public void setDeviceEnabled(boolean on) throws JposException {
        operations.lock();
        try {
            ScannerNatives nat = claimedNatives("setDeviceEnabled");
            EventDelivery d = delivery("setDeviceEnabled");
            if ((nat.getNumber(PIDX_DeviceEnabled) != 0) != on) set(nat, "setDeviceEnabled", PIDX_DeviceEnabled, on);
            d.setReporting(on);
        } finally {
            operations.unlock();
        }
    }

    public String getDeviceServiceDescription() throws JposException {
        return "Kolvex JavaPOS Scanner service, level " + level.text;
    }

    public int getDeviceServiceVersion() throws JposException {
        return level.version;
    }

    public boolean getFreezeEvents() throws JposException {
        return delivery("getFreezeEvents").freezeEvents();
    }

    public void setFreezeEvents(boolean on) throws JposException {
        delivery("setFreezeEvents").setFreezeEvents(on);
    }

    public String getPhysicalDeviceDescription() throws JposException {
        natives("getPhysicalDeviceDescription");
        return "Barcode scanner, " + cfg.describeChannel() + ", through the Kolvex natives ("
                + cfg.nativesName + ")";
    }

    public String getPhysicalDeviceName() throws JposException {
        natives("getPhysicalDeviceName");
        return "Kolvex scanner (" + cfg.describeChannel() + ")";
    }

    public int getState() throws JposException {
        EventDelivery d;
        synchronized (this) {
            if (!opened) return JposConst.JPOS_S_CLOSED;
            d = events;
        }
        return d.inError() ? JposConst.JPOS_S_ERROR : JposConst.JPOS_S_IDLE;
    }

    public void checkHealth(int level) throws JposException {
        ScannerNatives nat = enabledNatives("checkHealth");
        EventDelivery d = delivery("checkHealth");
        if (level == JposConst.JPOS_CH_EXTERNAL || level == JposConst.JPOS_CH_INTERACTIVE) {
            throw error(JposConst.JPOS_E_ILLEGAL, "checkHealth: level " + level
                    + " is not supported; this service offers JPOS_CH_INTERNAL (1)");
        }
        if (level != JposConst.JPOS_CH_INTERNAL) {
            throw error(JposConst.JPOS_E_ILLEGAL, "checkHealth: unknown level " + level);
        }
        byte[] t = nat.getString(PIDX_CheckHealthText);
        String natText = t == null ? "" : new String(t, StandardCharsets.ISO_8859_1);
        int conn = d.connectionState();
        String text;
        if (conn == ScannerEvents.STATE_OFFLINE) {
            String why = reason(nat);
            text = "Internal HCheck: Failed: the scanner is offline" + (why.isEmpty() ? "" : " (" + why + ")");
        } else {
            text = "Internal HCheck: Successful (" + natText
                    + (conn == ScannerEvents.STATE_ONLINE ? ", online" : "") + ")";
        }
        synchronized (this) {
            checkHealthText = text;
        }
        if (conn == ScannerEvents.STATE_OFFLINE) throw error(JposConst.JPOS_E_OFFLINE, "checkHealth: " + text);
    }

    public void directIO(int command, int[] data, Object object) throws JposException {
        natives("directIO");
        throw error(JposConst.JPOS_E_ILLEGAL, "directIO: this service has no directIO commands");
    }

    // ---- JposServiceInstance ----

    public void deleteInstance() throws JposException {
        boolean open;
        synchronized (this) {
            open = opened && !closing;
        }
        if (open) {
            try {
                close();
            } catch (JposException ignored) {
                // Being deleted: a failing close changes nothing for the caller.
            }
        }
        synchronized (this) {
            deleted = true;
        }
    }

    // ---- ScannerService12 ----

    public boolean getAutoDisable() throws JposException {
        return natives("getAutoDisable").getNumber(PIDX_AutoDisable) != 0;
    }

    public void setAutoDisable(boolean on) throws JposException {
        set(natives("setAutoDisable"), "setAutoDisable", PIDX_AutoDisable, on);
    }

    public int getDataCount() throws JposException {
        return natives("getDataCount").getNumber(PIDX_DataCount);
    }

    public boolean getDataEventEnabled() throws JposException {
        return delivery("getDataEventEnabled").dataEventEnabled();
    }

    public void setDataEventEnabled(boolean on) throws JposException {
        delivery("setDataEventEnabled").setDataEventEnabled(on);
    }

    public boolean getDecodeData() throws JposException {
        return natives("getDecodeData").getNumber(PIDXScan_DecodeData) != 0;
    }

    public void setDecodeData(boolean on) throws JposException {
        operations.lock();
        try {
            set(natives("setDecodeData"), "setDecodeData", PIDXScan_DecodeData, on);
        } finally {
            operations.unlock();
        }
    }

    public byte[] getScanData() throws JposException {
        return delivery("getScanData").scanData();
    }

    public byte[] getScanDataLabel() throws JposException {
        return delivery("getScanDataLabel").scanDataLabel();
    }

    public int getScanDataType() throws JposException {
        return delivery("getScanDataType").scanDataType();
    }

    public void clearInput() throws JposException {
        ScannerNatives nat = claimedNatives("clearInput");
        EventDelivery d = delivery("clearInput");
        int rc = nat.clearInput();
        d.clearInput();
        if (rc != Results.SUCCESS) throw Results.failed("clearInput", rc, reason(nat));
    }

    // ---- ScannerService13 ----

    public int getCapPowerReporting() throws JposException {
        return delivery("getCapPowerReporting").capPowerReporting();
    }

    public int getPowerNotify() throws JposException {
        return delivery("getPowerNotify").powerNotify();
    }

    public void setPowerNotify(int value) throws JposException {
        EventDelivery d = delivery("setPowerNotify");
        if (value != JposConst.JPOS_PN_DISABLED && value != JposConst.JPOS_PN_ENABLED) {
            throw error(JposConst.JPOS_E_ILLEGAL, "setPowerNotify: " + value + " is neither JPOS_PN_DISABLED nor JPOS_PN_ENABLED");
        }
        if (value == JposConst.JPOS_PN_ENABLED && d.capPowerReporting() == JposConst.JPOS_PR_NONE) {
            throw error(JposConst.JPOS_E_ILLEGAL, "setPowerNotify: these natives report no power state"
                    + " (CapPowerReporting is JPOS_PR_NONE)");
        }
        if (getDeviceEnabled()) {
            throw error(JposConst.JPOS_E_ILLEGAL, "setPowerNotify: only while the device is disabled");
        }
        d.setPowerNotify(value);
    }

    public int getPowerState() throws JposException {
        return delivery("getPowerState").powerState();
    }

    // ---- ScannerService18: no statistics ----

    public boolean getCapStatisticsReporting() throws JposException {
        natives("getCapStatisticsReporting");
        return false;
    }

    public boolean getCapUpdateStatistics() throws JposException {
        natives("getCapUpdateStatistics");
        return false;
    }

    public void resetStatistics(String statisticsBuffer) throws JposException {
        throw noStatistics("resetStatistics");
    }

    public void retrieveStatistics(String[] statisticsBuffer) throws JposException {
        throw noStatistics("retrieveStatistics");
    }

    public void updateStatistics(String statisticsBuffer) throws JposException {
        throw noStatistics("updateStatistics");
    }

    private JposException noStatistics(String op) throws JposException {
        natives(op);
        return error(JposConst.JPOS_E_ILLEGAL, op + ": this service keeps no statistics"
                + " (CapStatisticsReporting is false)");
    }

    // ---- ScannerService19: no firmware ----

    public boolean getCapCompareFirmwareVersion() throws JposException {
        natives("getCapCompareFirmwareVersion");
        return false;
    }

    public boolean getCapUpdateFirmware() throws JposException {
        natives("getCapUpdateFirmware");
        return false;
    }

    public void compareFirmwareVersion(String firmwareFileName, int[] result) throws JposException {
        natives("compareFirmwareVersion");
        throw error(JposConst.JPOS_E_ILLEGAL, "compareFirmwareVersion: not supported"
                + " (CapCompareFirmwareVersion is false)");
    }

    public void updateFirmware(String firmwareFileName) throws JposException {
        natives("updateFirmware");
        throw error(JposConst.JPOS_E_ILLEGAL, "updateFirmware: not supported (CapUpdateFirmware is false)");
    }

    // ---- ScannerService110 ----

    public void clearInputProperties() throws JposException {
        delivery("clearInputProperties").clearInputProperties();
    }
}
