package jpos;

/** Compile-only declaration: only the type is used here (the event source of a control). */
public interface BaseControl {
}
