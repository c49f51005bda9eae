package jpos.services;

import jpos.JposException;

/** Compile-only declaration. */
public interface ScannerService18 extends ScannerService17 {
    boolean getCapStatisticsReporting() throws JposException;

    boolean getCapUpdateStatistics() throws JposException;

    void resetStatistics(String statisticsBuffer) throws JposException;

    void retrieveStatistics(String[] statisticsBuffer) throws JposException;

    void updateStatistics(String statisticsBuffer) throws JposException;
}
