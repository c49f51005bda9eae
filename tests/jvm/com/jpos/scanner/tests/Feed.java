package com.jpos.scanner.tests;

/** Drives the framework test double behind Kolvex (test builds only). */
final class Feed {
    static {
        System.loadLibrary("KolvexJvmFeed");
    }

    private Feed() {}

    static native void reset();

    /** 0: command frames go unanswered; otherwise the byte answered to each (6 ACK, 0x15 NAK). */
    static native void answerFrames(int answer);

    /** Hands the bytes to the receive callback; returns once it has run. */
    static native void deliver(byte[] bytes);

    /** null: tvx_open succeeds; otherwise it fails and tvx_last_error gives the reason. */
    static native void failOpen(String reason);

    /** Hands lost (0) or back (1) to the channel's status callback; returns once it has run. */
    static native void status(int status);

    /** How often the framework function ("open", "write", "clear", "close") was called. */
    static native int count(String fn);

    /** Calls seen by the recording test add-on library: word, channel, level per call. */
    static native int[] addOnCalls(String library);
}
