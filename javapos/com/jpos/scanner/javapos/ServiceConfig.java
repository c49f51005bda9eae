package com.jpos.scanner.javapos;

import com.jpos.scanner.api.ScannerNatives;
import jpos.JposConst;
import jpos.JposException;
import jpos.config.JposEntry;

/**
 * What a jpos.xml entry says about one scanner: the arguments of the natives' Open and the
 * service's own settings. Built once per createInstance; never changed afterwards.
 *
 * <pre>
 * deviceType         Integer  1 to 4 (required)
 * communication      String   serial, udp or hid (required)
 * port               Integer  COM port number, 1 or more (required for serial)
 * maxServiceVersion  String   1.13, 1.14, 1.15 or 1.16: the newest level to offer (optional)
 * pollInterval       Integer  ms between looks at DataCount when the natives have no event
 *                             wait, 1 to 1000 (optional, 20)
 * nativesClass       String   a ScannerNatives class with a public no-argument constructor
 *                             to use instead of libKolvex (optional; tests, other bindings)
 * </pre>
 */
final class ServiceConfig {
    static final int COMM_SERIAL = 1, COMM_UDP = 2, COMM_HID = 3;
    static final int DEFAULT_POLL_MS = 20;

    /** Makes the natives at open; loading libKolvex may fail there. */
    interface NativesSource {
        ScannerNatives create() throws Exception;
    }

    final String logicalName;
    final int deviceType;
    final int commuType;
    final int port;
    final ServiceLevel maxLevel;  // null: the newest the application's jar has
    final int pollMillis;
    final NativesSource natives;
    final String nativesName;

    ServiceConfig(String logicalName, int deviceType, int commuType, int port, ServiceLevel maxLevel,
            int pollMillis, NativesSource natives, String nativesName) {
        this.logicalName = logicalName;
        this.deviceType = deviceType;
        this.commuType = commuType;
        this.port = port;
        this.maxLevel = maxLevel;
        this.pollMillis = pollMillis;
        this.natives = natives;
        this.nativesName = nativesName;
    }

    /** Reads and checks the entry's properties; a bad one names itself in the exception. */
    static ServiceConfig fromEntry(String logicalName, JposEntry entry) throws JposException {
        String where = "jpos.xml entry \"" + logicalName + "\": ";
        if (entry == null) throw new JposException(JposConst.JPOS_E_NOSERVICE, where + "no entry");
        int devType = integer(entry, where, "deviceType", true, 0);
        if (devType < 1 || devType > 4) {
            throw new JposException(JposConst.JPOS_E_ILLEGAL,
                    where + "property deviceType is " + devType + "; it must be 1, 2, 3 or 4");
        }
        String comm = text(entry, where, "communication", true);
        int commuType;
        switch (comm.trim().toLowerCase(java.util.Locale.ROOT)) {
            case "serial":
                commuType = COMM_SERIAL;
                break;
            case "udp":
                commuType = COMM_UDP;
                break;
            case "hid":
                commuType = COMM_HID;
                break;
            default:
                throw new JposException(JposConst.JPOS_E_ILLEGAL, where + "property communication is \""
                        + comm + "\"; it must be serial, udp or hid");
        }
        int port = 0;
        if (commuType == COMM_SERIAL) {
            port = integer(entry, where, "port", true, 0);
            if (port < 1) {
                throw new JposException(JposConst.JPOS_E_ILLEGAL, where + "property port is " + port
                        + "; a serial scanner needs its COM port number, 1 or more");
            }
        }
        ServiceLevel max = null;
        if (entry.hasPropertyWithName("maxServiceVersion")) {
            String v = text(entry, where, "maxServiceVersion", true);
            max = ServiceLevel.parse(v);
            if (max == null) {
                throw new JposException(JposConst.JPOS_E_ILLEGAL, where + "property maxServiceVersion is \""
                        + v + "\"; it must be one of " + ServiceLevel.known());
            }
        }
        int poll = integer(entry, where, "pollInterval", false, DEFAULT_POLL_MS);
        if (poll < 1 || poll > 1000) {
            throw new JposException(JposConst.JPOS_E_ILLEGAL,
                    where + "property pollInterval is " + poll + "; it must be 1 to 1000 (ms)");
        }
        NativesSource natives = ScannerNatives::kolvex;
        String nativesName = "libKolvex";
        if (entry.hasPropertyWithName("nativesClass")) {
            String cls = text(entry, where, "nativesClass", true).trim();
            natives = nativesClass(where, cls);
            nativesName = cls;
        }
        return new ServiceConfig(logicalName, devType, commuType, port, max, poll, natives, nativesName);
    }

    private static NativesSource nativesClass(String where, String name) throws JposException {
        final Class<?> c;
        try {
            c = Class.forName(name, true, ServiceConfig.class.getClassLoader());
        } catch (ClassNotFoundException | LinkageError e) {
            throw new JposException(JposConst.JPOS_E_NOSERVICE,
                    where + "property nativesClass: class " + name + " not found", asException(e));
        }
        if (!ScannerNatives.class.isAssignableFrom(c)) {
            throw new JposException(JposConst.JPOS_E_ILLEGAL, where + "property nativesClass: " + name
                    + " does not implement " + ScannerNatives.class.getName());
        }
        return () -> {
            try {
                return (ScannerNatives) c.getConstructor().newInstance();
            } catch (java.lang.reflect.InvocationTargetException e) {
                // The constructor's own failure (a library that cannot load) is the reason.
                Throwable t = e.getCause();
                if (t instanceof Exception) throw (Exception) t;
                if (t instanceof Error) throw (Error) t;
                throw e;
            }
        };
    }

    static Exception asException(Throwable t) {
        return t instanceof Exception ? (Exception) t : new Exception(t.toString(), t);
    }

    private static Object value(JposEntry entry, String where, String name, boolean required)
            throws JposException {
        Object v = entry.hasPropertyWithName(name) ? entry.getPropertyValue(name) : null;
        if (v == null && required) {
            throw new JposException(JposConst.JPOS_E_NOSERVICE, where + "property " + name + " is missing");
        }
        return v;
    }

    private static String text(JposEntry entry, String where, String name, boolean required)
            throws JposException {
        Object v = value(entry, where, name, required);
        return v == null ? null : v.toString();
    }

    /** An Integer property; a numeric String is taken too (type defaults to String in jpos.xml). */
    private static int integer(JposEntry entry, String where, String name, boolean required, int dflt)
            throws JposException {
        Object v = value(entry, where, name, required);
        if (v == null) return dflt;
        if (v instanceof Integer) return (Integer) v;
        try {
            return Integer.parseInt(v.toString().trim());
        } catch (NumberFormatException e) {
            throw new JposException(JposConst.JPOS_E_ILLEGAL,
                    where + "property " + name + " is \"" + v + "\"; it must be an Integer", e);
        }
    }

    /** "device type 3, serial COM5" for descriptions and messages. */
    String describeChannel() {
        String c = commuType == COMM_SERIAL ? "serial COM" + port : commuType == COMM_UDP ? "UDP" : "HID";
        return "device type " + deviceType + ", " + c;
    }
}
