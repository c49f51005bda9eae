package jpos.services;

import jpos.JposException;

/** Compile-only declaration. */
public interface BaseService {
    String getCheckHealthText() throws JposException;

    boolean getClaimed() throws JposException;

    boolean getDeviceEnabled() throws JposException;

    void setDeviceEnabled(boolean deviceEnabled) throws JposException;

    String getDeviceServiceDescription() throws JposException;

    int getDeviceServiceVersion() throws JposException;

    boolean getFreezeEvents() throws JposException;

    void setFreezeEvents(boolean freezeEvents) throws JposException;

    String getPhysicalDeviceDescription() throws JposException;

    String getPhysicalDeviceName() throws JposException;

    int getState() throws JposException;

    void claim(int timeout) throws JposException;

    void close() throws JposException;

    void checkHealth(int level) throws JposException;

    void directIO(int command, int[] data, Object object) throws JposException;

    void open(String logicalName, EventCallbacks cb) throws JposException;

    void release() throws JposException;
}
