#pragma once
// The document kinds, one row each: tables and columns, names, texts and the statements the steps
// run. A place that treats the kinds alike reads the rows; what is kept per kind is a PerKind
// array indexed by kindIndex. The tests check each statement against the tables.
#include <array>
#include <cstddef>
#include <iterator>

namespace talvix {

enum class DocumentKind { Transfer, Issue, Return, Balance };
inline constexpr DocumentKind kAllKinds[] = {DocumentKind::Transfer, DocumentKind::Issue, DocumentKind::Return,
                                             DocumentKind::Balance};

struct DocumentTables {
  DocumentKind kind;
  const char* header;
  const char* lines;
  const char* headerKey;  // the line's column holding its header's ISN
  const char* date;       // the header's date column
  const char* dept;       // the header's department whose stock the line moves (a transfer's sender)
  const char* cost;       // the line's cost column
  // Null where the kind has no such column.
  const char* tax;        // the line's tax rate
  const char* client;     // the header's client
  const char* salePrice;  // the line's sale price (a transfer's CENA is its cost)
  const char* markup;     // the line's markup on the sale price
  const char* origin;     // the header's origin of the goods
};

// The sources a line's cost can come from. The run's rule choice answers with one, and the
// reports ask the same choice, so they cannot disagree on which source priced a line.
enum class PriceRule {
  NotProcessed,       // the step selects the line but leaves it alone, or never selects it
  FirstSalePrice,     // the goods' first sale price without tax
  Serial,             // the receipt price of the unit carrying the serial record
  LastPurchasePrice,  // the latest receipt price in any department
  ClientSale,         // the cost of an earlier sale to the same client at the same price
  Fifo,               // the library's FIFO cost
  BalanceStage,       // a return's fallback: the latest goods-balance cost, else the latest receipt price
  WeightedAverage,    // the library's moving average
};

// How the FIFO run prices a kind the library's FIFO cost reaches: the sources it tries in order
// (the first whose condition holds prices the line, Fifo always holds) and where the stock and
// the day's outflow come from.
struct FifoPricing {
  PriceRule order[5];  // NotProcessed ends a shorter list
  enum class DayTable { None, Outflow, Balance } dayQuantities;
  bool stockFromLedger;       // else 0.0: a goods-balance document states the stock itself
  bool lastPurchaseMovesKey;  // only transfers remember a last purchase price; no reason is given
};

// A kind's statements under one method, as its step runs them; null where it has none.
struct KindStatements {
  const char* select;  // the lines without cost; the services filter and order follow it
  const char* order;
  const char* update;  // takes the cost parameter and :ISN
};

// The reset of mode 2 that sets the cost of a kind's lines of the period to 0.0 before its step
// selects the lines without cost (line_reset.h runs it).
struct KindReset {
  DocumentKind kind;
  const char* selectSql;  // selects the lines' ISN, takes the period; the services filter follows it
  bool oneStatement;      // one UPDATE ... WHERE ISN IN (the select), else line by line
  int firstCounter;       // line by line: the first "Dzēšu n"
  bool repaintEachLine;   // line by line: repaint the window after every counter line
  // One statement: the weighted-average run takes a stop point after its commit, the FIFO steps
  // do not; no reason is given.
  bool stopAfterOneStatement;
};

// How a kind's FIFO step runs, beyond its statements and texts.
struct FifoStepHow {
  bool blankLineAfterHeading;  // else the first counter line replaces the heading
  int firstCounter;            // the number the first counter line shows before the "/"
  bool commitAfterLoop;        // commit retaining once more after the last line
  // Consecutive lines of one date, department and goods share a price (the last-priced key);
  // else every line stands alone.
  bool unitsByKey;
  KindReset reset;
};

// How a kind's own weighted-average step runs (transfers with issues take the joint step).
struct AverageStepHow {
  bool servicesFilter;   // the select takes the services filter
  bool calculatorFirst;  // the average is made before the select, also for the last purchase price
  bool repaintAfterClosing;
  bool transfer;         // the average's first flag
  bool singleKind;       // its second flag
  int firstCounter;      // the counter line's first number (0 or 1)
  bool repaintEachLine;  // repaint the window after every counter line
  bool commitEachLine;   // commit retaining after every line, else once after the loop
  KindReset reset;       // selectSql null: mode 2 resets nothing
};

// What people, the settings and the reports call a kind.
struct KindNames {
  const char* word;       // --explain's kind
  const char* option;     // the command line's --transfers
  const char* reportOne;  // the reports' kind
  const char* reportMany;
  const char* setting;       // its mode's value in the settings key
  bool settingMayBeMissing;  // a key written before the value existed lacks it
  const char* control;       // the window's radio group
  const char* caption;
};

// The progress log's and the operation log's texts of a kind's steps.
struct KindTexts {
  const char* fifoHeading;
  const char* fifoClosing;  // null: none
  const char* fifoLabel;    // the FIFO step's operation-log label
  const char* averageHeading;
  const char* averageClosing;
  const char* operationKey;  // the mode digit follows it
};

// How a kind's lines move stock, as the pricing library's movements: an inflow into one department,
// an outflow from one, or both (a line moving goods between two departments, one movement each).
// A rank orders the movements of one day: inflows newest first by their rank, outflows after all
// inflows by theirs. Unique across the kinds and receipts (kReceiptRank).
struct StockFlow {
  const char* told = nullptr;  // how an explanation names the movement; null: the kind makes none
  int rank = 0;
  const char* dept = nullptr;  // the header's department it moves; null: the tables' dept
};
// A return whose origin column holds this brought the goods back into stock: the moving average
// counts it.
inline constexpr int kStockInOrigin = 2;
struct KindStock {
  StockFlow in{}, out{};
  // The stock before a day's outflows counts the day's own inflows of the kind, else those before.
  bool inOnItsDay = true;
  const char* unconfirmed = nullptr;  // the header's column whose 'T' leaves the document out of stock
  // The moving average counts an inflow only when the header's origin holds kStockInOrigin.
  bool averagedByOrigin = false;
  bool sales = false;  // its lines are the sales a client-sale look-up finds
  // Its lines ask for a sale to their client at their price: every line the step prices, or only
  // negative lines under FIFO.
  enum class AsksSale { Never, EveryPricedLine, NegativeUnderFifo } asksSale = AsksSale::Never;
  bool statesStock = false;  // a document of the day states the stock (its lines read it too)
  // A line no sale prices takes the latest cost the stock-stating documents gave.
  bool fallsBackOnStatedStock = false;
};

// One document kind: everything the tool spells per kind. Every other place reads this row.
struct DocumentKindRow {
  DocumentKind kind;
  DocumentTables tables;
  KindNames names;
  KindTexts texts;
  KindStatements fifo;
  FifoStepHow fifoHow;
  FifoPricing fifoPricing;  // a return has its own pricer: an empty order
  KindStatements average;   // a return's step is the FIFO one under both methods
  AverageStepHow averageHow;
  // The weighted average's step of transfers and issues together: each kind's part of its select
  // (the later part starts with UNION), the order after the last part, and the kind's update.
  KindStatements joint;
  // FIFO: the kind's part of a day-quantity statement, before the services filter; null: none.
  const char* dayQuantity;
  // What the kind's selects leave out and the order of a day needs; null: nothing.
  const char* sideSelect;
  // Goods balances: the confirmed documents of a day, department and goods, which state the stock.
  const char* confirmedOnDay = nullptr;
  // Its place in the order both runs take the kinds in (kKindsInRunOrder).
  std::size_t runOrder = 0;
  KindStock stock{};
};

inline constexpr DocumentKindRow kDocumentKinds[] = {
    {.kind = DocumentKind::Transfer,
     .tables = {DocumentKind::Transfer, "O_PARPAV", "O_PARPRC", "ISPARVPAV", "DATUMS", "ISNODALANO", "CENA", "NODOKLIS",
                nullptr, nullptr, nullptr, nullptr},
     .names = {"transfer", "transfers", "transfer", "transfers", "ParvietosanaChk", false, "shParveitosana",
               "Pārvietošana :"},
     .texts = {"Aprēķinu pārvietošanu ...", "Pārvietošana piešķirta", "AUTO.IEP.SAD.", "Aprēķinu pārvietošanu ...",
               "Pārvietošana sadalīta", "PARV="},
     .fifo = {.select =
                  "SELECT O_PARPRC.CENA, O_PARPAV.DATUMS, O_PARPAV.ISNODALANO ISNODALA, O_PARPRC.ISPRECE, "
                  "O_PARPRC.DAUDZUMS, O_PARPRC.ISN, O_PARPRC.NODOKLIS, O_PARPRC.ISSERTIF FROM O_PARPAV, O_PARPRC, "
                  "N_KLPREC WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV AND O_PARPRC.ISPRECE = N_KLPREC.ISN AND "
                  "O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ AND (O_PARPRC.CENA=0.00 or O_PARPRC.CENA IS NULL) ",
              .order = " ORDER BY O_PARPAV.DATUMS, O_PARPAV.ISNODALANO, O_PARPRC.ISPRECE, O_PARPRC.ISN ",
              .update = "UPDATE O_PARPRC SET CENA=:CENA WHERE ISN=:ISN"},
     .fifoHow =
         {.blankLineAfterHeading = true,
          .firstCounter = 0,
          .commitAfterLoop = true,
          .unitsByKey = true,
          .reset = {DocumentKind::Transfer,
                    "SELECT O_PARPRC.ISN FROM O_PARPAV, O_PARPRC, N_KLPREC WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV "
                    "AND O_PARPRC.ISPRECE = N_KLPREC.ISN AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ",
                    false, 1, false, false}},
     .fifoPricing = {{PriceRule::Serial, PriceRule::FirstSalePrice, PriceRule::LastPurchasePrice, PriceRule::Fifo},
                     FifoPricing::DayTable::Outflow,
                     true,
                     true},
     .average = {.select =
                     "SELECT O_PARPRC.CENA, O_PARPAV.DATUMS,         O_PARPAV.ISNODALANO ISNODALA, O_PARPRC.ISPRECE,  "
                     "       O_PARPRC.DAUDZUMS, O_PARPRC.ISN, O_PARPRC.NODOKLIS        FROM O_PARPAV, O_PARPRC, "
                     "N_KLPREC        WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV          AND O_PARPRC.ISPRECE = "
                     "N_KLPREC.ISN          AND O_PARPAV.DATUMS >=:DAT_NO          AND O_PARPAV.DATUMS <=:DAT_LIDZ    "
                     "      AND (O_PARPRC.CENA=0.00 or O_PARPRC.CENA IS NULL) ",
                 .order = " ORDER BY O_PARPAV.DATUMS, O_PARPRC.ISN ",
                 .update = "UPDATE O_PARPRC SET CENA=:CENA WHERE ISN=:ISN"},
     .averageHow =
         {.servicesFilter = false,
          .calculatorFirst = false,
          .repaintAfterClosing = false,
          .transfer = true,
          .singleKind = true,
          .firstCounter = 0,
          .repaintEachLine = false,
          .commitEachLine = true,
          .reset =
              {DocumentKind::Transfer,
               "SELECT O_PARPRC.ISN            FROM O_PARPAV, O_PARPRC, N_KLPREC           WHERE O_PARPAV.ISN = "
               "O_PARPRC.ISPARVPAV             AND O_PARPRC.ISPRECE = N_KLPREC.ISN             AND O_PARPAV.DATUMS "
               "BETWEEN :DAT_NO AND :DAT_LIDZ ",
               false, 0, false, false}},
     .joint = {.select =
                   "SELECT O_PARPAV.DATUMS, O_PARPRC.CENA,         O_PARPAV.ISNODALANO ISNODALA, O_PARPRC.ISPRECE,  "
                   "       O_PARPRC.DAUDZUMS, O_PARPRC.ISN, 1 FLAG        FROM O_PARPAV, O_PARPRC, N_KLPREC        "
                   "WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV          AND O_PARPRC.ISPRECE = N_KLPREC.ISN          "
                   "AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ          AND (O_PARPRC.CENA=0.00 or "
                   "O_PARPRC.CENA IS NULL) ",
               .order = "",
               .update = "UPDATE O_PARPRC SET CENA=:CENA WHERE ISN=:ISN"},
     .dayQuantity =
         "SELECT O_PARPRC.ISPRECE, O_PARPAV.ISNODALANO ISNODALA, O_PARPAV.DATUMS, SUM(O_PARPRC.DAUDZUMS) DAUDZUMS, "
         "1 FLAG FROM O_PARPAV, O_PARPRC, N_KLPREC WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV AND "
         "O_PARPRC.ISPRECE = N_KLPREC.ISN AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ",
     // The departments the lines go to; the selects name only the sender.
     .sideSelect =
         "SELECT O_PARPRC.ISN, O_PARPAV.ISNODALAUZ FROM O_PARPAV, O_PARPRC WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV "
         "AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ",
     .runOrder = 1,
     .stock = {.in = {"transfer in", 1, "ISNODALAUZ"}, .out = {"transfer out", 5}}},
    {.kind = DocumentKind::Issue,
     .tables = {DocumentKind::Issue, "O_PAVOUT", "O_PRCOUT", "ISPAVOUT", "DATUMS", "ISNODALA", "IEP_CENA", "NODOKLIS",
                "ISKLIENT", "CENA", "PIECENOJ", nullptr},
     .names = {"issue", "issues", "issue", "issues", "IzrakstisanaChk", false, "shIzrakstisana", "Izrakstīšana :"},
     .texts = {"Aprēķinu izrakstīšanu ...", "Izrakstīšana sadalīta", "AUTO IEP.SAD.", "Aprēķinu izrakstīšanu ...",
               "Izrakstīšana sadalīta", "IZR="},
     .fifo = {.select =
                  "SELECT O_PRCOUT.IEP_CENA, O_PAVOUT.DATUMS, O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE, O_PRCOUT.DAUDZUMS, "
                  "O_PRCOUT.ISN, O_PRCOUT.NODOKLIS, O_PAVOUT.ISKLIENT, O_PRCOUT.CENA, O_PRCOUT.PIECENOJ, "
                  "O_PRCOUT.ISSERTIF FROM O_PAVOUT, O_PRCOUT, N_KLPREC WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND "
                  "O_PRCOUT.ISPRECE = N_KLPREC.ISN AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ AND "
                  "(O_PRCOUT.IEP_CENA=0.00 OR O_PRCOUT.IEP_CENA IS NULL) ",
              // The largest quantity of a date, department and goods first: it calls the library, and a
              // negative line's client-sale look-up finds the costs written before it.
              .order = " ORDER BY O_PAVOUT.DATUMS, O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE, O_PRCOUT.DAUDZUMS DESCENDING ",
              .update = "UPDATE O_PRCOUT SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN"},
     .fifoHow =
         {.blankLineAfterHeading = true,
          .firstCounter = 0,
          .commitAfterLoop = true,
          .unitsByKey = true,
          .reset = {DocumentKind::Issue,
                    "SELECT O_PRCOUT.ISN FROM O_PAVOUT, O_PRCOUT, N_KLPREC WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT "
                    "AND O_PRCOUT.ISPRECE = N_KLPREC.ISN AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ",
                    false, 0, true, false}},
     .fifoPricing = {{PriceRule::FirstSalePrice, PriceRule::Serial, PriceRule::LastPurchasePrice, PriceRule::ClientSale,
                      PriceRule::Fifo},
                     FifoPricing::DayTable::Outflow,
                     true,
                     false},
     .average =
         {.select =
              "SELECT O_PRCOUT.IEP_CENA, O_PAVOUT.DATUMS,            O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE,            "
              "O_PRCOUT.DAUDZUMS, O_PRCOUT.ISN           FROM O_PAVOUT, O_PRCOUT, N_KLPREC           WHERE "
              "O_PAVOUT.ISN = "
              "O_PRCOUT.ISPAVOUT             AND O_PRCOUT.ISPRECE = N_KLPREC.ISN             AND O_PAVOUT.DATUMS "
              "BETWEEN "
              ":DAT_NO AND :DAT_LIDZ             AND (O_PRCOUT.IEP_CENA=0.00 OR O_PRCOUT.IEP_CENA IS NULL) ",
          .order = " ORDER BY DATUMS ",
          .update = "UPDATE O_PRCOUT SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN"},
     .averageHow =
         {.servicesFilter = true,
          .calculatorFirst = true,
          .repaintAfterClosing = true,
          .transfer = false,
          .singleKind = true,
          .firstCounter = 0,
          .repaintEachLine = false,
          .commitEachLine = true,
          .reset = {DocumentKind::Issue,
                    "SELECT O_PRCOUT.ISN            FROM O_PAVOUT, O_PRCOUT, N_KLPREC           WHERE O_PAVOUT.ISN = "
                    "O_PRCOUT.ISPAVOUT             AND O_PRCOUT.ISPRECE = N_KLPREC.ISN             AND O_PAVOUT.DATUMS "
                    "BETWEEN :DAT_NO AND :DAT_LIDZ ",
                    false, 0, true, false}},
     .joint = {.select =
                   " UNION SELECT O_PAVOUT.DATUMS, O_PRCOUT.IEP_CENA,            O_PAVOUT.ISNODALA, "
                   "O_PRCOUT.ISPRECE,            O_PRCOUT.DAUDZUMS, O_PRCOUT.ISN, 2 FLAG           FROM O_PAVOUT, "
                   "O_PRCOUT, N_KLPREC           WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT             AND "
                   "O_PRCOUT.ISPRECE = N_KLPREC.ISN             AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ   "
                   "          AND (O_PRCOUT.IEP_CENA=0.00 OR O_PRCOUT.IEP_CENA IS NULL) ",
               .order = " ORDER BY 1, 7, 4, 3 ",
               .update = "UPDATE O_PRCOUT SET IEP_CENA=:CENA WHERE ISN=:ISN"},
     .dayQuantity = "SELECT O_PRCOUT.ISPRECE, O_PAVOUT.ISNODALA, O_PAVOUT.DATUMS, "
                    "SUM(O_PRCOUT.DAUDZUMS) DAUDZUMS, 2 FLAG FROM O_PAVOUT, O_PRCOUT, N_KLPREC WHERE "
                    "O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND O_PRCOUT.ISPRECE = N_KLPREC.ISN AND "
                    "O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ",
     // The client and sale price; the weighted-average selects name neither.
     .sideSelect =
         "SELECT O_PRCOUT.ISN, O_PAVOUT.ISKLIENT, O_PRCOUT.CENA, O_PRCOUT.PIECENOJ FROM O_PAVOUT, O_PRCOUT WHERE "
         "O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ",
     .runOrder = 2,
     .stock = {.out = {"issue", 4}, .sales = true, .asksSale = KindStock::AsksSale::NegativeUnderFifo}},
    {.kind = DocumentKind::Return,
     .tables = {DocumentKind::Return, "O_ATGPAV", "O_ATGPRC", "ISATGPAV", "DATUMS", "ISNODALA", "IEP_CENA", nullptr,
                "ISKLIENT", "CENA", "PIECENOJ", "FROM_WHAT"},
     .names = {"return", "returns", "return", "returns", "AtgriesanaChk", false, "shAtgriezsana", "Atgriezšana :"},
     .texts = {"Aprēķinu atgriešanu ...", nullptr, "IEP.SAD.", nullptr, nullptr, "ATGR="},
     .fifo = {.select = "SELECT O_ATGPRC.ISN, O_ATGPRC.IEP_CENA, O_ATGPAV.DATUMS, O_ATGPAV.ISNODALA, O_ATGPRC.ISPRECE, "
                        "O_ATGPRC.DAUDZUMS, O_ATGPRC.ISN, O_ATGPAV.ISKLIENT, O_ATGPAV.FROM_WHAT, O_ATGPRC.CENA, "
                        "O_ATGPRC.PIECENOJ, O_ATGPRC.ISSERTIF FROM O_ATGPAV, O_ATGPRC, N_KLPREC WHERE "
                        "O_ATGPAV.ISN = O_ATGPRC.ISATGPAV AND O_ATGPRC.ISPRECE = N_KLPREC.ISN AND "
                        "O_ATGPAV.DATUMS >=:DAT_NO AND O_ATGPAV.DATUMS <=:DAT_LIDZ AND "
                        "(O_ATGPRC.IEP_CENA=0.00 OR O_ATGPRC.IEP_CENA IS NULL)",
              .order = "",
              .update = "UPDATE O_ATGPRC SET IEP_CENA=:IEP_CENA WHERE ISN=:ISN"},
     // Both methods price returns by the same step.
     .fifoHow =
         {.blankLineAfterHeading = false,
          .firstCounter = 1,
          .commitAfterLoop = true,
          .unitsByKey = false,
          .reset = {DocumentKind::Return,
                    "SELECT O_ATGPRC.ISN FROM O_ATGPAV, "
                    "O_ATGPRC, N_KLPREC WHERE O_ATGPAV.ISN = O_ATGPRC.ISATGPAV AND O_ATGPRC.ISPRECE = N_KLPREC.ISN "
                    "AND O_ATGPAV.FROM_WHAT != 1 AND O_ATGPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ",
                    true, 0, false, false}},
     .fifoPricing = {{}, FifoPricing::DayTable::None, false, false},
     .average = {nullptr, nullptr, nullptr},
     .averageHow = {.servicesFilter = false,
                    .calculatorFirst = false,
                    .repaintAfterClosing = false,
                    .transfer = false,
                    .singleKind = false,
                    .firstCounter = 0,
                    .repaintEachLine = false,
                    .commitEachLine = false,
                    .reset = {DocumentKind::Return, nullptr, false, 0, false, false}},
     .joint = {nullptr, nullptr, nullptr},
     .dayQuantity = nullptr,
     .sideSelect = nullptr,
     .runOrder = 3,
     .stock = {.in = {"return", 0},
               .averagedByOrigin = true,
               .asksSale = KindStock::AsksSale::EveryPricedLine,
               .fallsBackOnStatedStock = true}},
    {.kind = DocumentKind::Balance,
     .tables = {DocumentKind::Balance, "O_PRATL_PAV", "O_PRATL_PRC", "ISPRATLPAV", "DATUMS", "ISNODALA", "IEP_CENA",
                nullptr, nullptr, nullptr, nullptr, nullptr},
     .names = {"balance", "balances", "goods balance", "goods balances", "AtlikumiChk", true, "shAtlikumi",
               "Preču atlikumi :"},
     .texts = {"Aprēķinu pašizmaksu atlikumiem ...", "Pašizmaksa atlikumiem piešķirta", "AUTO IEP.SAD.",
               "Aprēķinu atlikumus vidējā svērtā metode ...", "Atlikumi vidējā svērtā metode pabeigta", "ATLIK="},
     .fifo = {.select =
                  "SELECT O_PRATL_PRC.IEP_CENA, O_PRATL_PAV.DATUMS, O_PRATL_PAV.ISNODALA, O_PRATL_PRC.ISPRECE, "
                  "O_PRATL_PRC.DAUDZUMS, O_PRATL_PRC.ISN, O_PRATL_PRC.ISSERTIF FROM O_PRATL_PAV, O_PRATL_PRC, N_KLPREC "
                  "WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PRC.ISPRECE = N_KLPREC.ISN AND "
                  "O_PRATL_PAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ AND "
                  "(O_PRATL_PRC.IEP_CENA=0.00 OR O_PRATL_PRC.IEP_CENA IS NULL) ",
              .order = " ORDER BY O_PRATL_PAV.DATUMS, O_PRATL_PAV.ISNODALA, O_PRATL_PRC.ISPRECE, O_PRATL_PRC.ISN ",
              .update = "UPDATE O_PRATL_PRC SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN"},
     .fifoHow = {.blankLineAfterHeading = true,
                 .firstCounter = 1,
                 // Every write was committed at once; the other kinds' last commit is not repeated here.
                 .commitAfterLoop = false,
                 .unitsByKey = true,
                 .reset = {DocumentKind::Balance,
                           "SELECT O_PRATL_PRC.ISN FROM "
                           "O_PRATL_PAV, O_PRATL_PRC, N_KLPREC WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND "
                           "O_PRATL_PRC.ISPRECE = N_KLPREC.ISN AND O_PRATL_PAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ",
                           true, 0, false, false}},
     .fifoPricing = {{PriceRule::Serial, PriceRule::LastPurchasePrice, PriceRule::Fifo},
                     FifoPricing::DayTable::Balance,
                     false,
                     false},
     .average = {.select =
                     "SELECT O_PRATL_PRC.IEP_CENA, O_PRATL_PAV.DATUMS,            O_PRATL_PAV.ISNODALA, "
                     "O_PRATL_PRC.ISPRECE,            O_PRATL_PRC.DAUDZUMS, O_PRATL_PRC.ISN           FROM "
                     "O_PRATL_PAV, O_PRATL_PRC, N_KLPREC           WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV     "
                     "        AND O_PRATL_PRC.ISPRECE = N_KLPREC.ISN             AND O_PRATL_PAV.DATUMS >=:DAT_NO     "
                     "        AND O_PRATL_PAV.DATUMS <=:DAT_LIDZ             AND (O_PRATL_PRC.IEP_CENA=0.00 OR "
                     "O_PRATL_PRC.IEP_CENA IS NULL) ",
                 // No ORDER BY: the lines come in the database's order.
                 .order = "",
                 .update = "UPDATE O_PRATL_PRC SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN"},
     .averageHow =
         {.servicesFilter = true,
          .calculatorFirst = false,
          .repaintAfterClosing = true,
          .transfer = false,
          .singleKind =
              false,
          .firstCounter = 1,
          .repaintEachLine = true,
          .commitEachLine = false,
          .reset = {DocumentKind::Balance,
                    "SELECT O_PRATL_PRC.ISN            FROM O_PRATL_PAV, O_PRATL_PRC, N_KLPREC           WHERE "
                    "O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV             AND O_PRATL_PRC.ISPRECE = N_KLPREC.ISN      "
                    "       AND O_PRATL_PAV.DATUMS >=:DAT_NO             AND O_PRATL_PAV.DATUMS <=:DAT_LIDZ ",
                    true, 0, false, true}},
     .joint = {nullptr, nullptr, nullptr},
     .dayQuantity =
         "SELECT O_PRATL_PRC.ISPRECE, O_PRATL_PAV.ISNODALA, O_PRATL_PAV.DATUMS, SUM(O_PRATL_PRC.DAUDZUMS) DAUDZUMS, "
         "3 FLAG FROM O_PRATL_PAV, O_PRATL_PRC, N_KLPREC WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND "
         "O_PRATL_PRC.ISPRECE = N_KLPREC.ISN AND O_PRATL_PAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ",
     .sideSelect = nullptr,
     .confirmedOnDay =
         "SELECT O_PRATL_PAV.ISN FROM O_PRATL_PAV, O_PRATL_PRC WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND "
         "O_PRATL_PAV.DATUMS=:DATUMS AND O_PRATL_PAV.ISNODALA = :ISDEPART AND O_PRATL_PRC.ISPRECE = :ISPRECE AND "
         "(O_PRATL_PAV.NEAPSTIPR != 'T' OR O_PRATL_PAV.NEAPSTIPR IS NULL OR O_PRATL_PAV.NEAPSTIPR='')",
     .runOrder = 0,
     .stock = {.in = {"goods balance", 3}, .inOnItsDay = false, .unconfirmed = "NEAPSTIPR", .statesStock = true}},
};
inline constexpr std::size_t kKindCount = std::size(kDocumentKinds);
static_assert(kKindCount == std::size(kAllKinds), "every kind has its row");

// Where a kind's row and everything kept per kind sits.
constexpr std::size_t kindIndex(DocumentKind kind) { return static_cast<std::size_t>(kind); }
constexpr bool rowsInKindOrder() {
  for (std::size_t i = 0; i < kKindCount; ++i)
    if (kindIndex(kDocumentKinds[i].kind) != i || kindIndex(kDocumentKinds[i].tables.kind) != i) return false;
  return true;
}
static_assert(rowsInKindOrder(), "the rows stand in DocumentKind's order");

constexpr const DocumentKindRow& kindRow(DocumentKind kind) { return kDocumentKinds[kindIndex(kind)]; }
constexpr const DocumentTables& tablesOf(DocumentKind kind) { return kindRow(kind).tables; }

// Receipts are no document kind of the tool: it only reads them, for the stock they bring in.
inline constexpr const char* kReceiptHeaderTable = "O_PAVADZ";
inline constexpr const char* kReceiptLinesTable = "O_PRECE";
// A receipt's layers rank among the kinds' inflows (KindStock).
inline constexpr int kReceiptRank = 2;
// The goods register every line's goods is joined to.
inline constexpr const char* kGoodsRegisterTable = "N_KLPREC";

// Something kept for every kind, found by the kind.
template <typename T>
using PerKind = std::array<T, kKindCount>;

}  // namespace talvix
