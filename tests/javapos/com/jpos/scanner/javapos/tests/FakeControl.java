package com.jpos.scanner.javapos.tests;

import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import java.util.function.Consumer;
import jpos.BaseControl;
import jpos.JposConst;
import jpos.JposException;
import jpos.config.JposEntry;
import jpos.events.DataEvent;
import jpos.events.DirectIOEvent;
import jpos.events.ErrorEvent;
import jpos.events.JposEvent;
import jpos.events.OutputCompleteEvent;
import jpos.events.StatusUpdateEvent;
import jpos.loader.JposServiceInstance;
import jpos.loader.JposServiceInstanceFactory;
import jpos.services.BaseService;
import jpos.services.EventCallbacks;
import jpos.services.ScannerService110;
import jpos.services.ScannerService12;
import jpos.services.ScannerService13;

/**
 * A Scanner control of our own, calling the service as jpos.Scanner does: createInstance
 * through the factory, open with itself as the callbacks, the version check with a cast to
 * every ScannerService1xx up to the service's level (as far as this JavaPOS jar knows them),
 * and on close (or a failed open) close and deleteInstance. Events are handed to the
 * listeners synchronously, on the calling thread, under the control's listener lock.
 *
 * It names only interfaces that every supported JavaPOS jar has, so it runs over the
 * declarations of each level.
 */
final class FakeControl implements EventCallbacks, BaseControl {
    /** One received event: the event, the thread it came on, and what the listener saw. */
    static final class Received {
        final JposEvent event;
        final Thread thread;
        final String seen;

        Received(JposEvent event, Thread thread, String seen) {
            this.event = event;
            this.thread = thread;
            this.seen = seen;
        }
    }

    private final Object listenerLock = new Object();
    final LinkedBlockingQueue<Received> received = new LinkedBlockingQueue<>();
    private BaseService service;
    ScannerService12 s12;
    ScannerService13 s13;
    ScannerService110 s110;
    /** Runs inside each DataEvent listener; returns what the listener saw, for the record. */
    volatile java.util.function.Function<DataEvent, String> onData = e -> "";
    volatile java.util.function.Function<ErrorEvent, String> onError = e -> "";
    volatile Consumer<StatusUpdateEvent> onStatus = e -> {};

    /** The ScannerService1xx interfaces with their levels, oldest first. */
    static final String[] INTERFACES = {"12", "13", "14", "15", "16", "17", "18", "19", "110", "111",
        "112", "113", "114", "115", "116"};

    static int levelOf(String suffix) {
        int minor = Integer.parseInt(suffix.substring(1));
        return 1_000_000 + minor * 1000;
    }

    /** Open as jpos.Scanner.open does; returns the service's version. */
    int open(String logicalName, JposEntry entry, JposServiceInstanceFactory factory) throws JposException {
        JposServiceInstance instance = factory.createInstance(logicalName, entry);
        if (!(instance instanceof BaseService)) {
            throw new JposException(JposConst.JPOS_E_NOSERVICE, "not a BaseService: " + instance);
        }
        service = (BaseService) instance;
        try {
            service.open(logicalName, this);
            int version = service.getDeviceServiceVersion();
            for (String v : INTERFACES) {
                if (levelOf(v) > version) break;
                Class<?> c;
                try {
                    c = Class.forName("jpos.services.ScannerService" + v);
                } catch (ClassNotFoundException newerThanOurJar) {
                    break;  // the control's jar stops here, and so do its casts
                }
                if (!c.isInstance(service)) {
                    throw new JposException(JposConst.JPOS_E_NOSERVICE,
                            "service does not implement " + c.getName() + " (reports " + version + ")");
                }
            }
            s12 = (ScannerService12) service;
            s13 = (ScannerService13) service;
            if (version >= 1_010_000) s110 = (ScannerService110) service;
            return version;
        } catch (JposException | RuntimeException e) {
            try {
                service.close();
            } catch (Exception ignored) {
                // as the control: a failed open closes and deletes, ignoring their failures
            }
            try {
                ((JposServiceInstance) service).deleteInstance();
            } catch (Exception ignored) {
                // as above
            }
            service = null;
            throw e;
        }
    }

    BaseService service() {
        return service;
    }

    void close() throws JposException {
        try {
            service.close();
        } finally {
            ((JposServiceInstance) service).deleteInstance();
        }
    }

    /** The next event, or null after the bound. */
    Received next(long seconds) throws InterruptedException {
        return received.poll(seconds, TimeUnit.SECONDS);
    }

    List<Received> drain() {
        List<Received> l = new ArrayList<>();
        received.drainTo(l);
        return l;
    }

    @Override
    public void fireDataEvent(DataEvent e) {
        synchronized (listenerLock) {
            String seen = onData.apply(e);
            received.add(new Received(e, Thread.currentThread(), seen));
        }
    }

    @Override
    public void fireDirectIOEvent(DirectIOEvent e) {
        synchronized (listenerLock) {
            received.add(new Received(e, Thread.currentThread(), "directIO"));
        }
    }

    @Override
    public void fireErrorEvent(ErrorEvent e) {
        synchronized (listenerLock) {
            String seen = onError.apply(e);
            received.add(new Received(e, Thread.currentThread(), seen));
        }
    }

    @Override
    public void fireOutputCompleteEvent(OutputCompleteEvent e) {
        synchronized (listenerLock) {
            received.add(new Received(e, Thread.currentThread(), "outputComplete"));
        }
    }

    @Override
    public void fireStatusUpdateEvent(StatusUpdateEvent e) {
        synchronized (listenerLock) {
            onStatus.accept(e);
            received.add(new Received(e, Thread.currentThread(), ""));
        }
    }

    @Override
    public BaseControl getEventSource() {
        return this;
    }
}
