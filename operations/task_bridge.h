// The task bridge: one task over an input list, and the program's version.
#pragma once

// "0.9.73.1232b" once make_version_text has run; empty before.
extern char version_text[32];
// The version as one number (9073) once make_version_text has run.
extern int version_number;

// Builds version_text and version_number; both programs call it first at start.
void make_version_text();
