#include "tools/corvane/Commands.h"

#include <map>

namespace {

const char* const ToolHelp =
    "usage: corvane COMMAND [OPTIONS] [ARGUMENTS]\n"
    "\n"
    "Makes and reads the dialer's parameter blocks, reads its encrypted error log, and encrypts\n"
    "and decrypts texts and files.\n"
    "\n"
    "commands:\n"
    "  make-params    make a parameter block from items (one per line)\n"
    "  read-params    show the items of a parameter block\n"
    "  read-log       show the records of error log files, decrypted and checked\n"
    "  encrypt        encrypt standard input to standard output\n"
    "  decrypt        decrypt standard input to standard output\n"
    "  encrypt-file   encrypt a file into another, in constant memory\n"
    "  decrypt-file   decrypt a file into another, in constant memory\n"
    "  sha256         salted SHA-256 digest of a text (base64)\n"
    "  md5            MD5 digest of a text's UTF-8 bytes (hex)\n"
    "  fingerprint    a parameter block's fingerprint, as the dialer's error log names it\n"
    "  dial           dial an entry through the dialer, as a launching program does, and explain\n"
    "                 the result\n"
    "  explain        what a dialer exit status means\n"
    "\n"
    "'corvane COMMAND --help' describes a command.\n"
    "\n"
    "Code pages: blocks and log bodies carry their texts in the ANSI code page of the machine that\n"
    "made them. This build uses its platform's (UTF-8 on Linux). To make a block for, or read the log\n"
    "of, a Japanese Windows installation give --code-page 932 (or 1252 for Western European ones);\n"
    "without it only ASCII texts travel between platforms.\n"
    "\n"
    "Text: output is UTF-8. On Windows, a standard stream that is a console gets its text as UTF-16\n"
    "through the console itself, so Japanese reads right in any console code page; redirected to a\n"
    "file or a pipe it stays UTF-8. Items and other text read from a file or redirected standard\n"
    "input may be UTF-8 (with or without a byte-order mark) or UTF-16LE with its byte-order mark.\n"
    "\n"
    "Exit codes: 0 success; 1 the operation failed (wrong key, block rejected, a log record that is\n"
    "not ok, plain or fallback, unreadable file); 2 usage error.\n";

const std::string KeyHelp =
    "  --key-file F     the key is the text of file F (UTF-8); one trailing line break is not part\n"
    "                   of the key\n"
    "  --key-env VAR    the key is the value of environment variable VAR\n"
    "  Keys never go on the command line. An empty key is valid: it gives the all-zero key and IV,\n"
    "  which protects nothing.\n";

const std::map<std::string, std::string>& CommandHelp()
{
    static const std::map<std::string, std::string> help = {
        {"make-params",
         "usage: corvane make-params [--at \"YYYY-MM-DD HH:MM\"] [--items FILE] [--code-page CP]\n"
         "Reads the items, one per line (UTF-8), from FILE or standard input and prints the parameter\n"
         "block on one line. Items in order: phonebook path, entry name, user name, password, phone\n"
         "number. A block is accepted by the dialer in the minute it was made and the next one.\n"
         "The block is read back before it is printed: items it would not carry back as given (fewer\n"
         "than five, U+0000 in an item, a character the code page cannot hold) are refused with a line\n"
         "naming the item, and no block is printed.\n"
         "  --at        make it under the minute key of that local moment instead of now\n"
         "  --code-page the ANSI code page of the dialer's machine (932 for Japanese Windows)\n"},
        {"read-params",
         "usage: corvane read-params [--at \"YYYY-MM-DD HH:MM\"] [--code-page CP] BLOCK\n"
         "Prints the items of a parameter block one per line, as the dialer would read them now (or at\n"
         "--at): under the key of that minute or the minute before, checked against its digest.\n"},
        {"read-log",
         "usage: corvane read-log [--json] [--code-page CP] FILE...\n"
         "Prints every record of the error logs: time stamp, status and message, tab-separated, with\n"
         "line breaks and control characters escaped (\\r, \\n, \\\\). Bodies are decrypted under the\n"
         "log's fixed key and checked against their digest. Statuses:\n"
         "  ok               decrypted, digest matches\n"
         "  digest-mismatch  decrypted, digest differs\n"
         "  undecryptable    a base64 body that does not decrypt\n"
         "  fallback         the fifteen \"?\" that stand for a failed encryption\n"
         "  plain            a body written unencrypted\n"
         "  truncated        a record cut short; it ends the file\n"
         "  damaged          bytes that frame no whole record (a record torn by a failed write),\n"
         "                   shown as one entry; the records after them are read as usual\n"
         "  --json      one JSON array of objects with the keys \"time\", \"status\" and \"message\"\n"
         "  --code-page the ANSI code page of the machine that wrote the log (932 for Japanese Windows)\n"
         "Exit code 1 when a record is not ok, plain or fallback, or a file cannot be read.\n"},
        {"encrypt",
         "usage: corvane encrypt [--check-data] [--utf8] [--layout none|breaks|xe5] [--code-page CP]\n"
         "                       (--key-file F | --key-env VAR)\n"
         "Encrypts standard input (UTF-8 text) and prints the base64 text.\n"
         "  --check-data  add check data, so a wrong key is always detected on decryption\n"
         "  --utf8        carry the text as UTF-8 instead of the ANSI code page\n"
         "  --layout      none: one line; breaks (default): lines of 76 separated by CR LF;\n"
         "                xe5: every full line of 76 followed by CR LF\n" +
             KeyHelp},
        {"decrypt",
         "usage: corvane decrypt [--check-data] [--utf8] [--code-page CP] (--key-file F | --key-env VAR)\n"
         "Decrypts base64 text of any layout from standard input and writes the text (UTF-8). Give the\n"
         "same --check-data and --utf8 as the encryption.\n" +
             KeyHelp},
        {"encrypt-file",
         "usage: corvane encrypt-file (--key-file F | --key-env VAR) IN OUT\n"
         "Encrypts file IN into OUT (no check data), in constant memory. OUT is written under a temporary\n"
         "name beside it and renamed when complete. Progress goes to standard error on a terminal.\n" +
             KeyHelp},
        {"decrypt-file",
         "usage: corvane decrypt-file (--key-file F | --key-env VAR) IN OUT\n"
         "Decrypts file IN into OUT, in constant memory. OUT appears only when the whole file decrypted;\n"
         "a wrong key or damaged file leaves nothing behind.\n" +
             KeyHelp},
        {"sha256",
         "usage: corvane sha256 --salt S TEXT\n"
         "Prints base64 of SHA-256 over the UTF-8 bytes of S followed by TEXT.\n"},
        {"md5",
         "usage: corvane md5 TEXT\n"
         "Prints the 32 lower-case hex digits of MD5 over the UTF-8 bytes of TEXT.\n"},
        {"fingerprint",
         "usage: corvane fingerprint [BLOCK]\n"
         "Prints a parameter block's fingerprint: the first 16 lower-case hex digits of SHA-256 over the\n"
         "block's UTF-8 bytes. The dialer's error log names a refused block by it (never by the block\n"
         "itself), and a launching program can log it to match a record with its call. The block is\n"
         "read from standard input when not given (one line break that ends it is not part of it);\n"
         "standard input keeps it out of the process list, where other users can read it.\n"},
        {"dial",
         "usage: corvane dial [--dialer PATH] [--items FILE] [--timeout SECONDS] [--json] [--code-page CP]\n"
         "Acts as the launching program: reads the five items as make-params does (FILE or standard\n"
         "input; the password never goes on the command line), makes the block of the current minute,\n"
         "starts the dialer with it as its only argument, waits, and prints one line: the exit status,\n"
         "and what it means. When no dial result was reached (9999), the error-log records this run\n"
         "added follow, as read-log shows them; the log is where the dialer writes it (the common\n"
         "error-log folder under PROGRAMDATA, or beside the dialer); records that cannot be read now\n"
         "(the log held by another program) are said to be so, after the status.\n"
         "Items are refused as make-params refuses them, before the dialer is started.\n"
         "On POSIX the status arrives mapped onto 0..125; the dial result it stands for is shown where\n"
         "the mapping can be read back, and the line says so where it cannot.\n"
         "  --dialer    the dialer (default: CorvaneDialer beside corvane)\n"
         "  --timeout   stop a dialer that has not ended after this many seconds (1 to 86400, default\n"
         "              300), with every program it started; the dial's outcome is then unknown\n"
         "  --json      one object with \"status\", \"dialResult\", \"meaning\" and \"records\" (null,\n"
         "              with \"recordsError\", when they cannot be read now)\n"
         "  --code-page the ANSI code page of the dialer's machine (932 for Japanese Windows)\n"
         "Exit code 0 when the connection was made, 1 when the dialer failed, did not end in time or\n"
         "could not be started.\n"},
        {"explain",
         "usage: corvane explain [--posix] [--json] STATUS...\n"
         "Prints what each dialer exit status (decimal) means: 0, 87 and 9999 are the dialer's own;\n"
         "the rest are error codes of the Remote Access Service. On Windows the service's own text is\n"
         "used (in the installation's language), else this tool's table.\n"
         "  --posix  the statuses are as a POSIX parent receives them from the POSIX dialer (0..255):\n"
         "           each is read back to the dial result it stands for, where that can be done\n"
         "  --json   one JSON array of objects with \"status\", \"meaning\" and \"source\" (dialer,\n"
         "           system, table or unknown), and with --posix \"dialResult\"\n"
         "Exit code 1 when a status is unknown.\n"},
    };
    return help;
}

}  // namespace

const char* HelpText(const std::string& command)
{
    if (command.empty())
        return ToolHelp;
    const auto it = CommandHelp().find(command);
    return it == CommandHelp().end() ? "" : it->second.c_str();
}
