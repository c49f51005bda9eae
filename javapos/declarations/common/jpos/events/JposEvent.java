package jpos.events;

import java.util.EventObject;

/** Compile-only declaration. */
public abstract class JposEvent extends EventObject {
    private static long nextSequenceNumber = 1;

    protected long sequenceNumber;
    private final long when;

    public JposEvent(Object source) {
        super(source);
        when = System.currentTimeMillis();
        updateSequenceNumber();
    }

    public final synchronized void updateSequenceNumber() {
        synchronized (JposEvent.class) {
            sequenceNumber = nextSequenceNumber++;
        }
    }

    public final long getSequenceNumber() {
        return sequenceNumber;
    }

    public long getWhen() {
        return when;
    }
}
