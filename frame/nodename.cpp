/* The node-type names: every code with its name of at most four characters, range
 * markers included, ending with the code 999. A lookup takes the first row with a code, so
 * a range marker shows only for a code that has no name of its own. */
#include "frame/frame.h"

// clang-format off
const ZNodeName nodename[] = {
    // leaves
    {U"NULL", 0}, {U"NAME", 1}, {U"LITN", 2}, {U"LITC", 3}, {U"FNAM", 4}, {U"STAR", 5},
    {U"USER", 6}, {U"TABL", 7}, {U"WNAM", 8}, {U"ANAM", 9}, {U"LABL", 10}, {U"HNAM", 11},
    {U"SUBQ", 12}, {U"SUBP", 13}, {U"SYM", 14}, {U"BYNM", 15}, {U"JTAG", 16}, {U"UNDO", 17},
    {U"CLR", 18}, {U"FMT", 19}, {U"NTGR", 20}, {U"FUNC", 21}, {U"DREF", 22}, {U"SOBT", 23},
    {U"SAY", 24}, {U"EXTL", 25}, {U"XNAM", 26}, {U"EXTQ", 27}, {U"CMSG", 28}, {U"CMTN", 29},
    {U"CMTU", 30}, {U"UNAM", 31},
    // range markers: leaves
    {U"LFLO", 0}, {U"LFHI", 35},
    // operators
    {U"SAME", 70},
    // logical
    {U"LOR", 220}, {U"LAND", 221}, {U"LNOT", 222}, {U"LGLO", 220}, {U"LGHI", 222},
    // predicates
    {U"INOT", 240}, {U"IN", 241}, {U"NIN", 242}, {U"BETW", 243}, {U"NBTW", 244}, {U"LIKE", 245},
    {U"NLKE", 246}, {U"CONT", 247}, {U"NCON", 248}, {U"ISNL", 249}, {U"NTNL", 250}, {U"TIN", 251},
    {U"TNIN", 252}, {U"SDX", 255}, {U"NSDX", 256}, {U"ISLO", 240}, {U"ISHI", 256},
    // comparisons
    {U"CEQ", 260}, {U"CNE", 261}, {U"CLT", 262}, {U"CLE", 263}, {U"CGT", 264}, {U"CGE", 265},
    {U"CLO", 260}, {U"CHI", 265},
    // colon comparisons
    {U"CTEQ", 270}, {U"CTNE", 271}, {U"CTLT", 272}, {U"CTLE", 273}, {U"CTGT", 274}, {U"CTGE", 275},
    {U"CTLO", 270}, {U"CTHI", 275},
    // boolean-valued range
    {U"BOLO", 200}, {U"BOHI", 275},
    // arithmetic
    {U"AADD", 280}, {U"ASUB", 281}, {U"AMUL", 282}, {U"ADIV", 283}, {U"ANEG", 284}, {U"APOW", 285},
    {U"APOS", 286}, {U"ARLO", 280}, {U"ARHI", 286},
    // concatenation, MIN/MAX, function calls
    {U"CONC", 300}, {U"MIN", 305}, {U"MAX", 306}, {U"FLST", 320}, {U"FTRN", 324}, {U"XLO", 340},
    {U"XHI", 342},
    // ranges and sets
    {U"RANB", 360}, {U"RANL", 361}, {U"RANH", 362}, {U"RANN", 363}, {U"SET", 380},
    // all expression operators
    {U"EXLO", 200}, {U"EXHI", 382},
    // escape wrapper
    {U"ESC", 570},
    // all operators
    {U"OPLO", 100}, {U"OPHI", 570},
    {U"", 999},
};
// clang-format on
