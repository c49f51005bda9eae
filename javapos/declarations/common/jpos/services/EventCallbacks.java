package jpos.services;

import jpos.BaseControl;
import jpos.events.DataEvent;
import jpos.events.DirectIOEvent;
import jpos.events.ErrorEvent;
import jpos.events.OutputCompleteEvent;
import jpos.events.StatusUpdateEvent;

/** Compile-only declaration. */
public interface EventCallbacks {
    void fireDataEvent(DataEvent e);

    void fireDirectIOEvent(DirectIOEvent e);

    void fireErrorEvent(ErrorEvent e);

    void fireOutputCompleteEvent(OutputCompleteEvent e);

    void fireStatusUpdateEvent(StatusUpdateEvent e);

    BaseControl getEventSource();
}
