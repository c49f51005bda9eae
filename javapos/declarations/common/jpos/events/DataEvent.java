package jpos.events;

/** Compile-only declaration. */
public class DataEvent extends JposEvent {
    protected int status;

    public DataEvent(Object source, int status) {
        super(source);
        this.status = status;
    }

    public int getStatus() {
        return status;
    }
}
