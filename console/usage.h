// twk's usage texts and start banner, in English and Polish.
#pragma once

// For 'i', 'j', 'S', 's', 'G', 'g', 'k' and 'w' that command's synopsis and
// option list; for any other letter (0 too) the general usage. The notes and
// an empty line follow in both cases.
void print_usage(int letter);

// Every command's synopsis and option list, then the notes.
void print_full_usage();

// "twk v<version>  <notice>" and an empty line.
void print_banner_line();
