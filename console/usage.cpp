// twk's usage texts and start banner, in English and Polish.
//
// Every printer starts with an empty line, so the printers can be strung
// together in any of the three shapes (one command, general, full) and the
// blocks stay apart. Synopsis lines start with two blanks and the program
// name, their continuation lines with nine blanks.
#include "console/usage.h"

#include <span>

#include "console/output.h"
#include "operations/task_bridge.h"

namespace {

struct TextPair {
    const char* english;
    const char* polish;
};

struct CommandUsage {
    char letter;
    TextPair header;
    std::span<const TextPair> synopsis;
    std::span<const TextPair> options;  // after the -i and -v lines
    std::span<const TextPair> example = {};  // after the options, apart
};

const TextPair info_synopsis[] = {
    {"  twk -i [-v] file...", "  twk -i [-v] plik..."},
};

const TextPair join_synopsis[] = {
    {"  twk -j [-v] [-i] [-a] [-b block] [-c no.no[,ms[,prod]]] [-f FID[,PID]]",
     "  twk -j [-v] [-i] [-a] [-b blok] [-c nr.nr[,ms[,prod]]] [-f FID[,PID]]"},
    {"         [-h] [-l|-n] [-m map] [-o output_file] [-q]",
     "         [-h] [-l|-n] [-m mapa] [-o plik_wyjściowy] [-q]"},
    {"         [-x] [-z] file...", "         [-x] [-z] plik..."},
};
const TextPair join_options[] = {
    {"\t-a - use other data", "\t-a - użyj innych danych"},
    {"\t-b - block size kB", "\t-b - rozmiar bloku w kB"},
    {"\t-c - map version, Mapsource flag, product code in header",
     "\t-c - wersja mapy, znacznik Mapsource, kod produktu w nagłówku"},
    {"\t-f - Family ID and Product ID", "\t-f - Family ID i Product ID"},
    {"\t-h - short header img", "\t-h - krótki nagłówek img"},
    {"\t-l - use name BLUCHART.MPS", "\t-l - użyj nazwy BLUCHART.MPS"},
    {"\t-m - mapset name", "\t-m - nazwa zestawu map"},
    {"\t-n - use name MAPSOURC.MPS", "\t-n - użyj nazwy MAPSOURC.MPS"},
    {"\t-o - output file name", "\t-o - nazwa pliku wyjściowego"},
    {"\t-q - map without autorouting and DEM data", "\t-q - mapa bez autoroutingu i danych DEM"},
    {"\t-x - do not create MPS subfile", "\t-x - nie twórz podpliku MPS"},
    {"\t-z - convert int NT-like format", "\t-z - zamień na format podobny do NT"},
};

const TextPair mapsource_synopsis[] = {
    {"  twk -S [-v] [-i] [-c CodePage] [-f FID[,PID]] [-h] [-m map] [-L]",
     "  twk -S [-v] [-i] [-c StronaKodowa] [-f FID[,PID]] [-h] [-m mapa] [-L]"},
    {"         [-l] [-n name] [-o path] [-q] [-r] [-t] [-3] file...",
     "         [-l] [-n nazwa] [-o ścieżka] [-q] [-r] [-t] [-3] plik..."},
};
const TextPair mapsource_options[] = {
    {"\t-c - CodePage for mapset", "\t-c - strona kodowa zestawu map"},
    {"\t-f - Family ID and Product ID", "\t-f - Family ID i Product ID"},
    {"\t-h - short header img", "\t-h - krótki nagłówek img"},
    {"\t-L - limit map longitude to 178.5", "\t-L - ogranicz długość geograficzną map do 178.5"},
    {"\t-l - limit longitude in preview map to 178.5",
     "\t-l - ogranicz długość geograficzną mapy przeglądowej do 178.5"},
    {"\t-m - mapset name", "\t-m - nazwa zestawu map"},
    {"\t-n - mapset files name", "\t-n - nazwa plików zestawu map"},
    {"\t-o - output path", "\t-o - ścieżka wyjściowa"},
    {"\t-q - add empty DEM", "\t-q - dodaj pusty DEM"},
    {"\t-r - create TDB for marine map", "\t-r - utwórz TDB dla mapy morskiej"},
    {"\t-t - create split.lst", "\t-t - utwórz split.lst"},
    {"\t-3 - create TDB version 3, if possible", "\t-3 - utwórz TDB w wersji 3, jeśli to możliwe"},
};
// A mapset needs a family: maps whose MPS names none (tiles of a map
// compiler) get it from -f, or the split is refused before it writes.
const TextPair mapsource_example[] = {
    {"Example (maps that carry no family ID and mapset name need -f and -m):",
     "Przykład (mapy bez własnego FID i nazwy zestawu wymagają -f i -m):"},
    {"  twk -S -f 7001,1 -m \"My map\" -o mapset_dir tiles/*.img",
     "  twk -S -f 7001,1 -m \"Moja mapa\" -o katalog_zestawu kafle/*.img"},
};

const TextPair maps_synopsis[] = {
    {"  twk -s [-v] [-i] [-h] [-m map] [-o path] [-t] [-x] file.img...",
     "  twk -s [-v] [-i] [-h] [-m mapa] [-o ścieżka] [-t] [-x] plik.img..."},
};
const TextPair maps_options[] = {
    {"\t-h - short header img", "\t-h - krótki nagłówek img"},
    {"\t-m - mapset name", "\t-m - nazwa zestawu map"},
    {"\t-o - output path", "\t-o - ścieżka wyjściowa"},
    {"\t-q - add empty DEM", "\t-q - dodaj pusty DEM"},
    {"\t-t - create split.lst", "\t-t - utwórz split.lst"},
    {"\t-x - save TYP files only", "\t-x - zapisz tylko pliki TYP"},
};

const TextPair families_synopsis[] = {
    {"  twk -G [-v] [-i] [-h] [-l|-n] [-o path] file.img...",
     "  twk -G [-v] [-i] [-h] [-l|-n] [-o ścieżka] plik.img..."},
};
const TextPair families_options[] = {
    {"\t-h - short header img", "\t-h - krótki nagłówek img"},
    {"\t-l - use name BLUCHART.MPS", "\t-l - użyj nazwy BLUCHART.MPS"},
    {"\t-n - use name MAPSOURC.MPS", "\t-n - użyj nazwy MAPSOURC.MPS"},
    {"\t-o - output path", "\t-o - ścieżka wyjściowa"},
};

const TextPair subfiles_synopsis[] = {
    {"  twk -g [-v] [-i] [-o path] [-t] file.img...", "  twk -g [-v] [-i] [-o ścieżka] [-t] plik.img..."},
};
const TextPair subfiles_options[] = {
    {"\t-o - output path", "\t-o - ścieżka wyjściowa"},
    {"\t-t - create split.lst", "\t-t - utwórz split.lst"},
};

const TextPair empty_synopsis[] = {
    {"  twk -k [-v] [-i] [-o path] file.img...", "  twk -k [-v] [-i] [-o ścieżka] plik.img..."},
};
const TextPair empty_options[] = {
    {"\t-o - output path", "\t-o - ścieżka wyjściowa"},
};

const TextPair write_synopsis[] = {
    {"  twk -w [-i] [-v] [-c no.no[,ms[,prod]]] [-e [+|-]map_id] [-f FID[,PID]] ",
     "  twk -w [-i] [-v] [-c nr.nr[,ms[,prod]]] [-e [+|-]id_mapy] [-f FID[,PID]] "},
    {"         [-h] [-L|-l|-1] [-m map] [-n|-t] [-q t1,t2,t3[,t4]] [-p priority]",
     "         [-h] [-L|-l|-1] [-m mapa] [-n|-t] [-q t1,t2,t3[,t4]] [-p priorytet]"},
    {"         [-r name] [-x] [-y FID[,PID[,CP]]] [-z FID[,PID]] file...",
     "         [-r nazwa] [-x] [-y FID[,PID[,CP]]] [-z FID[,PID]] plik..."},
};
const TextPair write_options[] = {
    {"\t-c - map version, mapsource flag, product code in header",
     "\t-c - wersja mapy, znacznik mapsource, kod produktu w nagłówku"},
    {"\t-e - new map ID number", "\t-e - nowy numer ID mapy"},
    {"\t-f - Family ID and Product ID", "\t-f - Family ID i Product ID"},
    {"\t-h - refresh header date", "\t-h - odśwież datę w nagłówku"},
    {"\t-L - upper case labels", "\t-L - etykiety wielkimi literami"},
    {"\t-l - lower case labels", "\t-l - etykiety małymi literami"},
    {"\t-m - mapset name", "\t-m - nazwa zestawu map"},
    {"\t-n - non-transparent map", "\t-n - mapa nieprzezroczysta"},
    {"\t-p - map priority", "\t-p - priorytet mapy"},
    {"\t-q - parameters TRE", "\t-q - parametry TRE"},
    {"\t-r - map name", "\t-r - nazwa mapy"},
    {"\t-t - transparent map", "\t-t - mapa przezroczysta"},
    {"\t-x - repleace TYP file in img file", "\t-x - zastąp plik TYP w pliku img"},
    {"\t-y - correct TYP Family ID, Product ID and CodePage",
     "\t-y - popraw Family ID, Product ID i stronę kodową pliku TYP"},
    {"\t-z - change Family ID, Product ID in *.MPS", "\t-z - zmień Family ID, Product ID w *.MPS"},
    {"\t-1 - first character upper case in labels", "\t-1 - pierwsza litera wielka w etykietach"},
};

// In the order the general and the full usage list them.
const CommandUsage commands[] = {
    {'i', {"Information about files (-i):", "Informacja o plikach (-i):"}, info_synopsis, {}},
    {'j', {"Join maps (-j):", "Łączenie map (-j):"}, join_synopsis, join_options},
    {'S', {"Split maps for Mapsource (-S):", "Podział map dla Mapsource (-S):"}, mapsource_synopsis,
     mapsource_options, mapsource_example},
    {'s', {"Split maps (-s):", "Podział map (-s):"}, maps_synopsis, maps_options},
    {'G', {"Split mapsets by FID(-G):", "Podział zestawów map według FID (-G):"}, families_synopsis,
     families_options},
    {'g', {"Split into subfiles (-g):", "Podział na podpliki (-g):"}, subfiles_synopsis, subfiles_options},
    {'k', {"Split into empty maps (-k):", "Podział na puste mapy (-k):"}, empty_synopsis, empty_options},
    {'w', {"Write changes into oryginal files (-w):", "Zapis zmian w oryginalnych plikach (-w):"},
     write_synopsis, write_options},
};

void print_pair(const TextPair& text) { print_line(text.english, text.polish); }

void print_usage_synopsis(const CommandUsage& command)
{
    log_message("\n");
    print_pair(command.header);
    for (const TextPair& line : command.synopsis)
        print_pair(line);
}

void print_usage_options(const CommandUsage& command)
{
    log_message("\n");
    // -i is the command itself there, so its list has only -v.
    if (command.letter != 'i')
        print_line("\t-i - information", "\t-i - informacja");
    print_line("\t-v - verbose", "\t-v - szczegółowe komunikaty");
    if (command.options.empty())
        return;
    log_message("\n");
    for (const TextPair& line : command.options)
        print_pair(line);
    if (command.example.empty())
        return;
    log_message("\n");
    for (const TextPair& line : command.example)
        print_pair(line);
}

void print_usage_notes()
{
    log_message("\n");
    print_line("You can provide input file list using option -@ list.txt.",
               "Listę plików wejściowych możesz podać opcją -@ lista.txt.");
    // The second note is empty, yet keeps its place before the third.
    log_message("\n\n");
    log_message("\n");
    // The hint is always in the other language: it is meant for a reader
    // who does not understand the texts in force.
    print_line("Uzyj opcji -P aby otrzymac polskie teksty.", "Use option -E to get English messages.");
}

}  // namespace

void print_usage(int letter)
{
    const CommandUsage* chosen = nullptr;
    for (const CommandUsage& command : commands) {
        if (command.letter == letter)
            chosen = &command;
    }
    if (chosen) {
        print_usage_synopsis(*chosen);
        print_usage_options(*chosen);
    } else {
        print_line("usage:", "użycie:");
        for (const CommandUsage& command : commands)
            print_usage_synopsis(command);
        log_message("\n");
        print_line("Use command with -? to get dscription of its options, example:",
                   "Użyj polecenia z -? aby otrzymać opis jego opcji, na przykład:");
        log_message("  twk -j?\n");
    }
    print_usage_notes();
    log_message("\n");
}

void print_full_usage()
{
    print_line("usage:", "użycie:");
    for (const CommandUsage& command : commands) {
        print_usage_synopsis(command);
        print_usage_options(command);
    }
    print_usage_notes();
    log_message("\n");
}

void print_banner_line()
{
    print_text("twk v%s  IMG map file tool: report, join, split, changes in place.\n\n",
               "twk v%s  Narzędzie do plików map IMG: raport, łączenie, podział, zmiany w plikach.\n\n",
               version_text);
}
