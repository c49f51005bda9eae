package jpos.events;

/** Compile-only declaration. */
public class StatusUpdateEvent extends JposEvent {
    protected int status;

    public StatusUpdateEvent(Object source, int status) {
        super(source);
        this.status = status;
    }

    public int getStatus() {
        return status;
    }
}
