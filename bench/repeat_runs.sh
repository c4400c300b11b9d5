#!/usr/bin/env bash
# How many costs a second and a third identical run change on the demo database: its blocked days
# removed, its last 90 days, transfers, issues and returns on "Piešķirt visiem no jauna", goods
# balances on "Piešķirt tikai ar 0 pašizmaksu", one `autoiepcensad-run --passes 1` three times.
#   bench/repeat_runs.sh [BUILD_DIR] [fifo|average]
set -euo pipefail
build=$(realpath "${1:-build}")
method=${2:-fifo}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
db=$dir/demo.fdb
"$build/bin/make-demo-db" --out "$db" --method "$method" >/dev/null
echo "DELETE FROM N_BLOKDIENAS; COMMIT;" | isql-fb -q "$db"
last=$(echo "SELECT MAX(DATUMS) FROM O_PAVOUT;" | isql-fb -q "$db" | grep -o '20[0-9][0-9]-[0-9-]*' | head -1)
first=$(date -d "$last -89 days" +%F)
# A registry date: the days since 30 December 1899 as a little-endian double.
ole() {
  python3 -c "import struct,datetime,sys; d=(datetime.date.fromisoformat(sys.argv[1])-datetime.date(1899,12,30)).days; print(','.join('%02x'%b for b in struct.pack('<d',float(d))))" "$1"
}
cat >"$dir/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]
"Demo"="$db"

[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Password]
"LastDBIndex"=dword:00000000

[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\AutoIepCenSad]
"DatumsNo"=hex:$(ole "$first")
"DatumsLidz"=hex:$(ole "$last")
"PedejaCena"=dword:00000000
"ParvIzrakst1PardCena"=dword:00000000
"ParvietosanaChk"=dword:00000002
"IzrakstisanaChk"=dword:00000002
"AtgriesanaChk"=dword:00000002
"AtlikumiChk"=dword:00000001
"PakalpojumusNe"=dword:00000000
"IMEI"=dword:00000000
REG
costs() {
  echo "SELECT 'T', ISN, CENA FROM O_PARPRC; SELECT 'I', ISN, IEP_CENA FROM O_PRCOUT;
        SELECT 'R', ISN, IEP_CENA FROM O_ATGPRC; SELECT 'B', ISN, IEP_CENA FROM O_PRATL_PRC;" |
    isql-fb -q "$db" | grep -E '^[TIRB] ' >"$1"
}
for run in 1 2 3; do
  TALVIX_REGISTRY=$dir/registry.reg QT_QPA_PLATFORM=offscreen "$build/bin/autoiepcensad-run" --passes 1 >/dev/null
  costs "$dir/costs$run"
done
echo "$method, $first..$last: $(wc -l <"$dir/costs1") lines; the second run changes" \
  "$(diff "$dir/costs1" "$dir/costs2" | grep -c '^>' || true), the third" \
  "$(diff "$dir/costs2" "$dir/costs3" | grep -c '^>' || true)"
