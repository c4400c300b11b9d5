#pragma once
// The four document kinds and their tables as every statement names them: header and line table,
// the line's column holding its header's key, the header's date and department columns, the line's
// cost column and the columns only some kinds have. Statements built at run time read these
// records; the tests check each statement spelt at compile time against them.

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

// Indexed by DocumentKind.
inline constexpr DocumentTables kDocumentTables[] = {
    {DocumentKind::Transfer, "O_PARPAV", "O_PARPRC", "ISPARVPAV", "DATUMS", "ISNODALANO", "CENA", "NODOKLIS", nullptr,
     nullptr, nullptr, nullptr},
    {DocumentKind::Issue, "O_PAVOUT", "O_PRCOUT", "ISPAVOUT", "DATUMS", "ISNODALA", "IEP_CENA", "NODOKLIS", "ISKLIENT",
     "CENA", "PIECENOJ", nullptr},
    {DocumentKind::Return, "O_ATGPAV", "O_ATGPRC", "ISATGPAV", "DATUMS", "ISNODALA", "IEP_CENA", nullptr, "ISKLIENT",
     "CENA", "PIECENOJ", "FROM_WHAT"},
    {DocumentKind::Balance, "O_PRATL_PAV", "O_PRATL_PRC", "ISPRATLPAV", "DATUMS", "ISNODALA", "IEP_CENA", nullptr,
     nullptr, nullptr, nullptr, nullptr},
};

constexpr const DocumentTables& tablesOf(DocumentKind kind) { return kDocumentTables[static_cast<int>(kind)]; }

}  // namespace talvix

// The lines of one goods (:ISPRECE) of a kind, joined to their headers as L and H, for the pricing
// library's movement statements.
#define TALVIX_GOODS_LINES(lines, headers, headerKey) \
  " FROM " lines " L JOIN " headers " H ON H.ISN = L." headerKey " WHERE L.ISPRECE = :ISPRECE"
