// What twk prints itself: every text comes as an English and Polish pair,
// and english_texts picks the one in force when it is printed.
//
// The lines go through log_message, like the core's messages, so both
// reach standard output in the order they were made.
#pragma once

#include "core/host.h"

inline const char* pick_text(const char* english, const char* polish)
{
    return english_texts ? english : polish;
}

// Prints the text in force with a line end added.
void print_line(const char* english, const char* polish);

// Prints the format in force with the arguments; both formats take the same
// arguments, in the same order.
void print_text(const char* english, const char* polish, ...)
    __attribute__((format(printf, 1, 3), format(printf, 2, 3)));
