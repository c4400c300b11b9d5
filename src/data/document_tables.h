#pragma once
// The four document kinds and their tables as every statement names them: header and line table,
// the line's column holding its header's key, the header's date and department columns and the
// line's cost column. A statement spelt at compile time cannot read a record, so the tests check
// each kind's statements against these records.

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
};

// Indexed by DocumentKind.
inline constexpr DocumentTables kDocumentTables[] = {
    {DocumentKind::Transfer, "O_PARPAV", "O_PARPRC", "ISPARVPAV", "DATUMS", "ISNODALANO", "CENA"},
    {DocumentKind::Issue, "O_PAVOUT", "O_PRCOUT", "ISPAVOUT", "DATUMS", "ISNODALA", "IEP_CENA"},
    {DocumentKind::Return, "O_ATGPAV", "O_ATGPRC", "ISATGPAV", "DATUMS", "ISNODALA", "IEP_CENA"},
    {DocumentKind::Balance, "O_PRATL_PAV", "O_PRATL_PRC", "ISPRATLPAV", "DATUMS", "ISNODALA", "IEP_CENA"},
};

constexpr const DocumentTables& tablesOf(DocumentKind kind) { return kDocumentTables[static_cast<int>(kind)]; }

}  // namespace talvix

// The lines of one goods (:ISPRECE) of a kind, joined to their headers as L and H, for the pricing
// library's movement statements.
#define TALVIX_GOODS_LINES(lines, headers, headerKey) \
  " FROM " lines " L JOIN " headers " H ON H.ISN = L." headerKey " WHERE L.ISPRECE = :ISPRECE"
