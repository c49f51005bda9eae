package jpos.events;

/**
 * Compile-only declaration. Only the type is used here (EventCallbacks names it); its members
 * are not declared because this service never raises it.
 */
public class OutputCompleteEvent extends JposEvent {
    private OutputCompleteEvent(Object source) {
        super(source);
    }
}
