#!/usr/bin/env bash
# brumevale.exe under Wine on a database written here: each command reads it, bad
# input is one line and exit 2, the service's own database is the default, the
# file stays byte-identical and no journal of the reader's own is left.
# Usage: reader_under_wine.sh BRUMEVALE_EXE WORK_DIR  (BRUMEVALE_WINE, BRUMEVALE_SQLITE3 set)
set -euo pipefail
exe=$1 work=$2
wine=${BRUMEVALE_WINE:-wine} sqlite=${BRUMEVALE_SQLITE3:-sqlite3}
rm -rf "$work" && mkdir -p "$work"
db="$work/Brumevale.data"
"$sqlite" "$db" <<'SQL'
CREATE TABLE LoadPoints (KEY INTEGER PRIMARY KEY AUTOINCREMENT, LP_TYPE INTEGER, USER_ID VARCHAR, ENTRY_NAME VARCHAR,
  COMMAND_LINE VARCHAR, CHANGE_EVENT_KEY INTEGER, CREATION_TIME DATE, INDIRECTION_KEY INTEGER, DISPLAY_NAME VARCHAR);
CREATE TABLE ChangeEvents (KEY INTEGER PRIMARY KEY AUTOINCREMENT, EVENT_TIME VARCHAR, PROCESS_ENTRY_KEY INTEGER,
  LOAD_POINT_KEY INTEGER, EVENT_TYPE INTEGER);
CREATE TABLE ExtendedEvent (KEY INTEGER PRIMARY KEY AUTOINCREMENT, CHANGE_EVENT_KEY INTEGER UNIQUE,
  EX_EVENT_TYPE INTEGER, PARAM_0 VARCHAR, PARAM_1 VARCHAR, PARAM_2 VARCHAR, PARAM_3 VARCHAR, PARAM_4 VARCHAR,
  PARAM_5 VARCHAR);
INSERT INTO LoadPoints VALUES (1, 1, '', 'Notes', 'C:\windows\system32\notepad.exe /a', 1, '2024-03-01 09:00:00', 0, '');
INSERT INTO LoadPoints VALUES (2, 1, '', 'Gone', 'C:\nowhere\gone.exe', 0, '2024-03-01 09:00:00', 0, '');
INSERT INTO ChangeEvents VALUES (1, '2024-03-01 09:00:00', 0, 1, 13);
INSERT INTO ExtendedEvent VALUES (1, 1, 1, '1', 'Notes <b>', '', '0', 'C:\windows\system32\notepad.exe /a', '');
SQL
windows_db="Z:${db//\//\\}"
before=$(sha256sum "$db")
fail() { echo "FAIL: $*" >&2; exit 1; }

out=$("$wine" "$exe" history "$windows_db" --format json)
grep -q '"entry":"Notes <b>"' <<<"$out" || fail "history json: $out"
out=$("$wine" "$exe" inventory "$windows_db" --format csv)
[ "$(head -c 8 <<<"$out")" = "key,type" ] || fail "inventory csv: $out"
out=$("$wine" "$exe" inventory "$windows_db" --verify --format json)
grep -q '"entry":"Notes".*"present":true' <<<"$out" || fail "verify found no notepad: $out"
grep -q '"entry":"Gone".*"present":false' <<<"$out" || fail "verify found gone.exe: $out"
"$wine" "$exe" html "$windows_db" -o "Z:${work//\//\\}\\page.html" --machine DESK
grep -q "default-src 'none'" "$work/page.html" || fail "page without its policy"

# Bad input: one line on standard error, exit 2.
expect_refusal() {
  set +e
  "$wine" "$exe" "$@" >"$work/out" 2>"$work/err"
  code=$?
  set -e
  [ "$code" = 2 ] || fail "$* exited $code"
  [ "$(wc -l <"$work/err")" = 1 ] || fail "$*: $(cat "$work/err")"
}
expect_refusal history "Z:${work//\//\\}\\none.data"
expect_refusal history "$windows_db" --type nonsense
# Without a file: the service's own database, which this prefix has none of.
expect_refusal history
grep -q 'Kelvra Security\\Brumevale\\Brumevale.data' "$work/err" || fail "default database: $(cat "$work/err")"

[ "$(sha256sum "$db")" = "$before" ] || fail "the database changed"
[ ! -e "$db-journal" ] && [ ! -e "$db-wal" ] || fail "a journal was left"
echo "brumevale.exe under Wine: all checks passed"
