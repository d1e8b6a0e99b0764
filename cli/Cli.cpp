#include "cli/Cli.h"

#include <ostream>

#include "cli/Commands.h"
#include "rekkon/Version.h"

namespace rekkon::cli {

namespace {

constexpr const char* kUsage =
    "usage: rekkon-cli COMMAND [ARGS]\n"
    "\n"
    "Finds deleted files on a FAT12/16/32, exFAT or NTFS volume (a block device such as\n"
    "/dev/sdb1, or a disk-image file) and copies them out. The source is only ever opened\n"
    "read-only. A whole disk (or disk image) with a DOS or GPT partition table is read too: the\n"
    "one FAT, exFAT or NTFS partition on it is used (said so on stderr); when there are several,\n"
    "choose one with --partition.\n"
    "\n"
    "commands:\n"
    "  info SOURCE [--partition N | --offset BYTES]\n"
    "      Show the file system of SOURCE and its geometry. On a partitioned disk: the partition\n"
    "      table (number, start, end and length in the table's sectors, size, type, file system,\n"
    "      label), then the geometry of every FAT, exFAT or NTFS partition.\n"
    "\n"
    "  cat SOURCE RECORD [--stream NAME]\n"
    "      Write the data of MFT record RECORD (NTFS; live or deleted) to stdout: its unnamed\n"
    "      data stream, or the data stream NAME.\n"
    "\n"
    "  list SOURCE [--folder PATH] [--format table|json|csv|bodyfile|dfxml] [--name GLOB]... "
    "[--only "
    "LOCATION]...\n"
    "          [--deep] [--carve [--type LIST] [--raw]]\n"
    "      List the deleted files that can still be located, in PATH and the folders below it\n"
    "      (default the root; '/' and '\\' both separate folders). FAT: PATH is a live folder, "
    "'?'\n"
    "      names a deleted one. NTFS: the whole MFT is searched and each file shows the folder it\n"
    "      was deleted from, deleted folders included (\"<unknown N>\\\" where the folder in MFT\n"
    "      record N is gone); a named data stream is listed as FILE:STREAM; a deleted file whose\n"
    "      names are gone is listed as \"<record N>\" in \"<unknown>\\\" unless a damaged name\n"
    "      still names its folder. FAT: where the long-name pieces of a deleted file or folder\n"
    "      survive beside its 8.3 entry, its long name is shown, and their checksum proves the\n"
    "      lost first character; folders are shown by their long names; 8.3 names stored with\n"
    "      the lower-case flags are shown in lower case.\n"
    "      --format   table (default): Location and the columns File Name, Long Name, Size (kB),\n"
    "                 Create Time, Last Access Time, Estimated Status, Type;\n"
    "                 json: an array of {location, name, size, createTime, accessTime, status,\n"
    "                 statusText, type, attributes, folder, longName, longNameCut,\n"
    "                 firstChar, origin, format, check}, times as YYYY-MM-DDTHH:MM:SS as stored "
    "(null when\n"
    "                 impossible), longName and firstChar null where not known, longNameCut\n"
    "                 true where only the start of a long name survives (it then ends in an\n"
    "                 ellipsis, U+2026, and is never used as a file name); csv: the same\n"
    "                 fields with a header row (empty where not known); bodyfile: one line\n"
    "                 per file in The Sleuth Kit's body format for mactime (MD5|name|inode|\n"
    "                 mode|UID|GID|size|atime|mtime|ctime|crtime, seconds since 1970, a FAT\n"
    "                 time taken as UTC); dfxml: Digital Forensics XML, a fileobject per\n"
    "                 file with its times and byte runs (img_offset: where its data lies in\n"
    "                 SOURCE). The table shows\n"
    "                 control characters in names as \\n, \\r, \\t, \\xHH or \\u00HH.\n"
    "      --name     show only names matching the shell pattern GLOB (any of several; case is\n"
    "                 ignored); the long name counts as well.\n"
    "      --only     show only the entry at LOCATION (its first cluster on FAT and exFAT, its\n"
    "                 MFT record on NTFS, its sector for a carved file; may be repeated);\n"
    "                 ORIGIN:LOCATION (as the origin field of json\n"
    "                 and csv names it, such as fat-lost-folder:1234) only that origin's.\n"
    "      --deep     FAT, exFAT: after the folders, search every free cluster for the entries\n"
    "                 of lost folders (deleted folders the folder walk cannot reach, or not\n"
    "                 wholly) and\n"
    "                 list the files found there that were not listed yet. Their folder is shown\n"
    "                 as far as it is known, \"<lost folder N>\" for a part that is not (N: the\n"
    "                 cluster it was found in). Reads all free space once. NTFS: no effect.\n"
    "      --carve    also search free space by content: files whose entries are gone (a\n"
    "                 formatted card, say) are found by their format's signature at each\n"
    "                 cluster, their structure followed to their end and checked. They are\n"
    "                 listed in \"<carved>\" as f<SECTOR>.<type> (or a name their content\n"
    "                 gives), with origin carved, their location the sector they start at,\n"
    "                 format the type, and check whole, truncated or damaged (with what\n"
    "                 broke; such files are never Good). A file where a listed entry's data\n"
    "                 starts is not listed again (the entry carries the check). A JPEG that\n"
    "                 stops decoding is tried as two fragments with up to 1,024 clusters of\n"
    "                 other data between them. With --deep, both searches share one pass.\n"
    "                 A source that holds no volume that can be read is searched whole,\n"
    "                 sector by sector.\n"
    "      --type LIST  search only for these formats (comma-separated types, such as\n"
    "                 jpg,png,mp4, or extensions their files take, such as nef,docx);\n"
    "                 implies --carve.\n"
    "      --raw      search the whole source sector by sector, whatever volume or partition\n"
    "                 table it holds (a whole disk, say); implies --carve.\n"
    "      On a terminal, progress is shown on stderr while scanning.\n"
    "\n"
    "  recover SOURCE --to DIR [--folder PATH] [--first-char C|auto] [--long-names]\n"
    "          [--keep-folders] [--report FILE [--report-format json|dfxml]] [--name GLOB]... "
    "[--only LOCATION]...\n"
    "          [--allow-same-volume] [--deep] [--carve [--type LIST] [--raw]]\n"
    "      Copy every listed file (after the filters) into DIR, which is created if needed. An\n"
    "      existing file is never replaced: NAME(1).EXT .. NAME(499).EXT are used instead, and a\n"
    "      file is skipped when all of them exist. One line per file tells where it went and how\n"
    "      many bytes, or why it was skipped. NTFS streams are written as FILE-STREAM, and the\n"
    "      holes of a sparse file stay holes. Every file gets the modification and access times\n"
    "      the volume stores for it (FAT keeps local times without a zone: they are taken in\n"
    "      this machine's time zone; its access time is a date only). On a terminal, one line on\n"
    "      stderr shows the bytes copied of the total, the rate and the time left.\n"
    "      --keep-folders   recreate each file's folder (as list shows it) below DIR, for\n"
    "                       example DIR/Old Projects Archive/PLAN.TXT. In folder names '/', '?' "
    "(a\n"
    "                       lost first character) and control characters become '_', \".\" and\n"
    "                       \"..\" get a '_' in front; nothing is ever created outside DIR, and\n"
    "                       no link in it is followed: a name held by a file or a link gets\n"
    "                       a numbered form, NAME(1).\n"
    "      --report FILE    write a JSON report into FILE, a new file (an existing one is\n"
    "                       never replaced: the command then stops before writing anything):\n"
    "                       an array with one object per file tried or not reached, with\n"
    "                       {source, volumeOffset, origin, location, name, longName, longNameCut,\n"
    "                       firstChar, folder, size, bytesWritten, whole, status, outputPath,\n"
    "                       md5, sha256, unreadableBytes, missingBytes, message}. status is one\n"
    "                       of written, not-whole, skipped-no-first-char, skipped-no-data,\n"
    "                       skipped-no-free-name, failed-create, failed-write, cancelled,\n"
    "                       not-tried; md5 and sha256 are those of the bytes written (null\n"
    "                       when nothing was). FILE must not lie on the scanned device either.\n"
    "      --report-format json|dfxml  the report as JSON (default) or as Digital\n"
    "                       Forensics XML: a fileobject per file with its times, byte runs\n"
    "                       and the md5 and sha256 of the bytes written.\n"
    "                       With nothing found it holds []; a report that could not be written\n"
    "                       whole, or of a recovery stopped by SIGINT or SIGTERM, is removed.\n"
    "      --first-char C   the first character for every FAT name shown with '?'. Without it a\n"
    "                       character the long-name pieces prove is used unasked, and the others\n"
    "                       are asked per file on the terminal (end the answer with ! to use it\n"
    "                       for all of those); without a terminal nothing is written.\n"
    "      --first-char auto   the character the long-name pieces prove, where they do; for the\n"
    "                       other files it is asked on the terminal, or without one _ is used.\n"
    "      --long-names     write FAT files under their long names where known (made safe for\n"
    "                       the destination like any name); the others keep their 8.3 names.\n"
    "      --allow-same-volume   write into DIR (and FILE) even when it lies on the scanned\n"
    "                       device, which may overwrite the very data being recovered.\n"
    "      --deep           also recover the files of lost FAT or exFAT folders, as list --deep\n"
    "                       finds them.\n"
    "      --carve, --type LIST, --raw   also recover files found by their content, as list\n"
    "                       finds them.\n"
    "\n"
    "  SOURCE options of info, list, recover and cat:\n"
    "      --partition N     the partition numbered N of a disk, as info and Linux number them\n"
    "                        (DOS: 1-4 primary, 5 on logical; GPT: the entry number).\n"
    "      --offset BYTES    the volume that starts BYTES (a multiple of 512) into SOURCE; no\n"
    "                        partition table is read.\n"
    "\n"
    "  help, --help\n"
    "      Show this text.\n"
    "\n"
    "  --version\n"
    "      Print the program's name and version, such as \"rekkon-cli 1.2.3\".\n"
    "\n"
    "exit status: 0 done; 1 could not write the output (stdout or a recovered file: the disk is\n"
    "full, or an I/O error); 2 bad usage (also: a disk with several FAT, exFAT or NTFS partitions\n"
    "and no --partition); 3 the source cannot be opened or holds no volume that can be read; 4 "
    "some\n"
    "files were skipped or could not be written whole (unreadable parts were written as zeros),\n"
    "or sectors of SOURCE could not be read: list, recover and cat then say how many on stderr,\n"
    "and the list may miss files recorded there.\n"
    "SIGINT (Ctrl+C) or SIGTERM during a scan stops it: list prints the files found so far (a\n"
    "whole json or csv document) and says on stderr that the list is incomplete, recover writes\n"
    "nothing; either then ends by the signal (status 130 after Ctrl+C, 143 after SIGTERM).\n";

int runCommand(const std::vector<std::string>& args, Streams& io) {
    if (args.empty()) {
        io.err << kUsage;
        return kExitUsage;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "help" || command == "--help" || command == "-h") {
        io.out << kUsage;
        return kExitOk;
    }
    if (command == "--version" && rest.empty()) {
        io.out << "rekkon-cli " << kVersion << '\n';
        return kExitOk;
    }
    if (command == "info") return runInfo(rest, io);
    if (command == "list") return runList(rest, io);
    if (command == "recover") return runRecover(rest, io);
    if (command == "cat") return runCat(rest, io);
    io.err << "rekkon-cli: unknown command \"" << command << "\"\n" << kUsage;
    return kExitUsage;
}

}  // namespace

int runCli(const std::vector<std::string>& args, Streams& io) {
    const int status = runCommand(args, io);
    // Whatever the command did, output that did not reach stdout is lost: say so.
    io.out.flush();
    if (!io.out) {
        io.err << "rekkon-cli: could not write the output (standard output refused it: the disk "
                  "may be full, or the reader gone).\n";
        return kExitOutput;
    }
    return status;
}

}  // namespace rekkon::cli
