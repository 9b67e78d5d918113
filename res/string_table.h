/* Every text Ostrel shows to its user, by its string-table number.
 *
 * This header is read both by the resource compiler (the STRINGTABLE of ostrel.rc is built from
 * OSTREL_RESOURCE_STRINGS) and by the C++ code (res/texts.cpp builds its lookup table from both
 * lists), so a text is written here once and nowhere else.
 *
 * Trap: spacing inside the texts is part of them (two blanks after "Error:" and before
 * "Conversion aborted.", three blanks in "File Open Error:   %s").
 */
#ifndef OSTREL_RES_STRING_TABLE_H
#define OSTREL_RES_STRING_TABLE_H

/* The lists are laid out by hand, one text a line; the resource compiler reads them too. */
/* clang-format off */

#define IDS_ABOUTBOX 101
#define IDS_FILE_OPEN_ERROR 102
#define IDS_FILE_ERROR_CAPTION 103
#define IDS_OPENING_FILE 104
#define IDS_SELECT_FILES 105
#define IDS_NO_FIXTURE_BLOCKS 106
#define IDS_TARGET_INVALID 107
#define IDS_TARGET_ACCESS_DENIED 108
#define IDS_TARGET_WRITE_ERROR 109
#define IDS_CONVERSION_COMPLETE 110
#define IDS_CONVERTED_FIXTURES 111
#define IDS_NOT_A_PROGRAM_FILE 112

/* Texts of the program that are not part of the Windows string table resource. */
#define IDS_OLE_INIT_FAILED 200
#define IDS_UNEXPECTED_ERROR 201
#define IDS_CONSOLE_USAGE 202
#define IDS_CONSOLE_HELP 203
#define IDS_CONSOLE_VERSION 204
#define IDS_CONSOLE_ERROR 205
#define IDS_CONSOLE_BAD_OPTION 206
#define IDS_CONSOLE_NO_DOCUMENT 207
#define IDS_CONSOLE_NO_COM 208
#define IDS_SAVE_STOPPED 209
#define IDS_CONSOLE_LOG_LOST 210
#define IDS_SOURCE_CHANGED 211
#define IDS_TARGET_APPEARED 212
#define IDS_SOURCE_FILTER 220
#define IDS_TARGET_FILTER 221
#define IDS_CONFIRM_REPLACE 222
#define IDS_CONFIRM_REPLACE_CAPTION 223
#define IDS_CONSOLE_BATCH_USAGE 240
#define IDS_CONSOLE_MISSING_VALUE 241
#define IDS_CONSOLE_BAD_JOBS 242
#define IDS_BATCH_SUMMARY 243
#define IDS_BATCH_PROGRESS 244
#define IDS_BATCH_SAME_TARGET 245
#define IDS_BATCH_CANNOT_READ 246
#define IDS_BATCH_NO_FOLDER 247
#define IDS_CONSOLE_FILE_FAILED 248
#define IDS_CONSOLE_FILE_MISSING 249
#define IDS_CONSOLE_NO_TARGET_NAME 250
#define IDS_CONSOLE_NOT_PROGRAM_FILE 251
#define IDS_CONSOLE_UNEXPECTED 252
#define IDS_BATCH_TARGET_IS_SOURCE 253
#define IDS_BATCH_NOT_STARTED 254
#define IDS_CONSOLE_OPTION_CONFLICT 255

/* X(id, text): the string table of the resource script, numbers 101 to 112. */
#define OSTREL_RESOURCE_STRINGS(X)                                                          \
    X(IDS_ABOUTBOX, "&About Ostrel...")                                                     \
    X(IDS_FILE_OPEN_ERROR, "File Open Error:   %s")                                         \
    X(IDS_FILE_ERROR_CAPTION, "File Error")                                                 \
    X(IDS_OPENING_FILE, "Opening file %s.")                                                 \
    X(IDS_SELECT_FILES, "Please select a source and target file.")                          \
    X(IDS_NO_FIXTURE_BLOCKS, "No Fixture Blocks defined in this source file.  Conversion aborted.") \
    X(IDS_TARGET_INVALID, "The target file name or path is invalid.")                       \
    X(IDS_TARGET_ACCESS_DENIED, "Unable to write to the target file.  Access denied.")      \
    X(IDS_TARGET_WRITE_ERROR, "Unable to write to the target file.  Error code %08x.")      \
    X(IDS_CONVERSION_COMPLETE, "Conversion complete!")                                      \
    X(IDS_CONVERTED_FIXTURES, "Converted %i fixtures")                                      \
    X(IDS_NOT_A_PROGRAM_FILE, "Not a valid Vela Program file.  Conversion aborted.")

/* X(id, text): texts compiled into the programs only. %s and %08x are filled by the caller. */
#define OSTREL_PROGRAM_STRINGS(X)                                                           \
    X(IDS_OLE_INIT_FAILED, "Ole Init Failed")                                               \
    X(IDS_UNEXPECTED_ERROR, "An unexpected error stopped the last action before it finished.\n\n%s\n(error code %08x)") \
    X(IDS_CONSOLE_USAGE, "usage: ostrel-convert [-q] SOURCE TARGET\nTry 'ostrel-convert --help' for more information.") \
    X(IDS_CONSOLE_HELP,                                                                     \
      "usage: ostrel-convert [-q] SOURCE TARGET\n"                                          \
      "       ostrel-convert -i [-q] [-j N] PATH...\n"                                      \
      "       ostrel-convert -o DIR [-q] [-j N] PATH...\n"                                  \
      "       ostrel-convert --check [-j N] PATH...\n"                                      \
      "\n"                                                                                  \
      "Converts one Vela program file exactly as the Ostrel dialog does when SOURCE and\n"  \
      "TARGET stand in its two fields and Convert is pressed: every short pin line of\n"    \
      "every fixture block becomes an absolute test point (12 becomes 12,13), the CRC\n"    \
      "checksum attribute is cleared, and the result is saved as TARGET.\n"                 \
      "\n"                                                                                  \
      "TARGET may equal SOURCE: the file is then converted in place. The target is\n"       \
      "replaced in one step, so a failed save leaves it exactly as it was. A target\n"     \
      "with other hard links or in a folder that refuses new files is rewritten in\n"     \
      "place instead, once its room is proven; should that write fail, its old bytes\n"   \
      "are written back. See the manual for what a save keeps.\n"                         \
      "\n"                                                                                  \
      "The Results log goes to standard output. Each failure is also said once on\n"        \
      "standard error, as 'ostrel-convert: FILE: reason'.\n"                                \
      "\n"                                                                                  \
      "The batch forms convert many files, each exactly as SOURCE TARGET would: in\n"       \
      "place with --in-place, or into the folder DIR under its own name with\n"             \
      "--output-dir. A PATH that is a folder stands for the .vlf files in it and in\n"      \
      "its subfolders (the extension in any case; links to folders are not followed);\n"    \
      "with --output-dir each of them keeps its path below that folder, and missing\n"      \
      "folders are created. A PATH that is a file is converted whatever its extension.\n"   \
      "A file named twice is converted once: in place, the same file by any of its\n"       \
      "names; with --output-dir, the same name (two names of one file, by links, give\n"    \
      "two outputs). Before anything is written, every target is resolved to where it\n"    \
      "lands, and the batch is refused (status 2, both names said) when a target is one\n"  \
      "of the sources, or a link to one, or when two targets land on one file. A file\n"    \
      "that is missing or cannot be read is reported and counted as failed; the others\n"   \
      "are still converted.\n"                                                              \
      "\n"                                                                                  \
      "Each file's Results log is printed whole, in the order the files were named (a\n"    \
      "folder's files in the order of their paths), then one line counts the files\n"       \
      "converted, those with nothing to convert and those that failed, and, after a\n"      \
      "stop, those not started. On a terminal, standard error shows how many files are\n"   \
      "done meanwhile.\n"                                                                   \
      "\n"                                                                                  \
      "--check converts each PATH (as --in-place would find them) in memory, writes\n"      \
      "nothing, not even a temporary file, and prints the name of each file whose\n"        \
      "conversion would change it, one a line. A file with nothing to convert would\n"      \
      "not change.\n"                                                                       \
      "\n"                                                                                  \
      "Options:\n"                                                                          \
      "  -i, --in-place        convert each PATH in place\n"                                \
      "  -o, --output-dir=DIR  write the converted files into DIR\n"                        \
      "  -j, --jobs=N          convert N files at once (N from 1; by default as many as\n"  \
      "                        the machine has processors)\n"                               \
      "  -q, --quiet           print no Results log and no progress: only the failures\n"   \
      "                        on standard error and, in a batch, the summary line\n"       \
      "      --check           print the files a conversion would change; write nothing\n"  \
      "  -h, --help            show this text and exit\n"                                   \
      "  -V, --version         show the version and exit\n"                                 \
      "Long options may be abbreviated while they stay unambiguous. '--' ends the\n"        \
      "options: every later argument is a file name. On Windows, /? shows this text.\n"    \
      "\n"                                                                                  \
      "Exit status (a batch gives the worst of its files: 1, else 3, else 0; --check:\n"    \
      "1, else 5, else 0):\n"                                                               \
      "  0  Conversion complete! (--check: no file would change)\n"                         \
      "  1  the conversion failed (unreadable or malformed source, not a program file,\n"   \
      "     target not written, or an unexpected error)\n"                                  \
      "  2  wrong usage, or SOURCE does not exist, or TARGET is empty; a batch whose\n"     \
      "     target is a source or whose two targets land on one file\n"                     \
      "  3  nothing to convert: the file defines no fixture blocks\n"                       \
      "  4  the Results log could not be written to standard output (a reader that\n"       \
      "     quit, a full disk); the conversion itself went as the log would have said\n"    \
      "  5  --check: a conversion would change some file\n"                                 \
      "  128+N  ended by signal N (130 for Ctrl-C, 143 for SIGTERM): a save under way\n"    \
      "     is abandoned first, its temporary file removed, the target left as it was;\n"   \
      "     a batch starts no other file\n"                                                 \
      "\n"                                                                                  \
      "Full documentation: man ostrel-convert")                                             \
    X(IDS_CONSOLE_VERSION,                                                                  \
      "ostrel-convert (%s) %s\n"                                                            \
      "Product version %s\n"                                                                \
      "%s\n"                                                                                \
      "License: MIT License.\n"                                                             \
      "This is free software: you are free to change and redistribute it.\n"               \
      "There is NO WARRANTY, to the extent permitted by law.")                              \
    X(IDS_CONSOLE_ERROR, "ostrel-convert: error %08x: %s")                                  \
    X(IDS_CONSOLE_BAD_OPTION, "ostrel-convert: unknown option '%s'")                         \
    X(IDS_CONSOLE_NO_DOCUMENT, "the XML document service is not available")                 \
    X(IDS_CONSOLE_NO_COM, "COM cannot be initialised")                                      \
    X(IDS_SAVE_STOPPED, "Unable to write to the target file.  The save was stopped on request; the target was left as it was.") \
    X(IDS_CONSOLE_LOG_LOST, "ostrel-convert: the Results log could not be written to standard output") \
    X(IDS_SOURCE_CHANGED, "Unable to write to the target file.  The source changed while it was converted; nothing was written.") \
    X(IDS_TARGET_APPEARED, "Unable to write to the target file.  Another program created it meanwhile; it was left as it was.") \
    X(IDS_SOURCE_FILTER, "Vela Program Files (*.vlf)|*.vlf|Vela ZRP Files (*.zrp)|*.zrp|All Files (*.*)|*.*||") \
    X(IDS_TARGET_FILTER, "Vela Program Files (*.vlf)|*.vlf||") \
    X(IDS_CONFIRM_REPLACE, "%s already exists.\nDo you want to replace it?") \
    X(IDS_CONFIRM_REPLACE_CAPTION, "Confirm Save As") \
    X(IDS_CONSOLE_BATCH_USAGE, "usage: ostrel-convert --in-place [-q] [--jobs N] PATH...\n       ostrel-convert --output-dir DIR [-q] [--jobs N] PATH...\n       ostrel-convert --check [--jobs N] PATH...\nTry 'ostrel-convert --help' for more information.") \
    X(IDS_CONSOLE_MISSING_VALUE, "ostrel-convert: option '%s' needs a value")               \
    X(IDS_CONSOLE_BAD_JOBS, "ostrel-convert: --jobs takes a whole number of at least 1, not '%s'") \
    X(IDS_BATCH_SUMMARY, "%i converted, %i with nothing to convert, %i failed")             \
    X(IDS_BATCH_PROGRESS, "%i of %i files done")                                            \
    X(IDS_BATCH_SAME_TARGET, "ostrel-convert: '%s' and '%s' would both be written to '%s'; nothing was converted") \
    X(IDS_BATCH_CANNOT_READ, "ostrel-convert: %s: cannot be read: %s")                      \
    X(IDS_BATCH_NO_FOLDER, "ostrel-convert: %s: cannot create the folder '%s': %s") \
    X(IDS_CONSOLE_FILE_FAILED, "ostrel-convert: %s: %s")                                    \
    X(IDS_CONSOLE_FILE_MISSING, "the file is missing")                                      \
    X(IDS_CONSOLE_NO_TARGET_NAME, "the target name is empty")                               \
    X(IDS_CONSOLE_NOT_PROGRAM_FILE, "not a Vela program file: its root is no Editor element") \
    X(IDS_CONSOLE_UNEXPECTED, "an unexpected error stopped the conversion: %s (error code %08x)") \
    X(IDS_BATCH_TARGET_IS_SOURCE, "ostrel-convert: '%s' would be written to '%s', which is the source '%s'; nothing was converted") \
    X(IDS_BATCH_NOT_STARTED, ", %i not started (the batch was stopped)")                     \
    X(IDS_CONSOLE_OPTION_CONFLICT, "ostrel-convert: choose one of --in-place, --output-dir and --check")

/* Texts of the two dialog templates of the resource script (ostrel.rc). */
#define OSTREL_ABOUT_TITLE "About Ostrel"
#define OSTREL_ABOUT_PRODUCT_LINE "Vela Test Point Utility, Version 1.0"
#define OSTREL_ABOUT_OK "OK"
#define OSTREL_MAIN_TITLE "Vela Test Point Reassignment Utility"
/* Trap: two lines in one static text, joined by a single line feed; two blanks after "pins". */
#define OSTREL_MAIN_INTRO                                                                   \
    "This utility renames all the fixture pins  to match the test point assignments.\n"   \
    "Select the source and target program names and press Convert."
#define OSTREL_MAIN_SOURCE_LABEL "Source Program File:"
#define OSTREL_MAIN_TARGET_LABEL "Target Program File:"
#define OSTREL_MAIN_BROWSE "..."
#define OSTREL_MAIN_CONVERT "Convert"
#define OSTREL_MAIN_CANCEL "Cancel"
#define OSTREL_MAIN_RESULTS_LABEL "Results:"

/* clang-format on */

#endif
