#!/bin/bash
# One benchmark task done with spatialite's VirtualDbf, which reads the .dbf
# in place (no memo files: OBS comes out as block numbers).
# Usage: spatialite_task.sh read|filter|sort|distinct TABLE.dbf
set -euo pipefail
task=${1:?task} table=${2:?table}
open="CREATE VIRTUAL TABLE t USING VirtualDbf('$table', CP1250);"
# spatialite writes notices about its own metadata to standard error on every
# start; a failed statement still shows in the exit code (-bail).
run() { printf '%s\n%s\n' "$open" "$1" | spatialite -batch -bail :memory: >/dev/null 2>&1; }
case $task in
  read) run "SELECT * FROM t;" ;;
  filter) run "SELECT * FROM t WHERE ORAS = 'Cluj' COLLATE NOCASE AND SUMA > 100;" ;;
  sort) run "SELECT * FROM t ORDER BY ORAS COLLATE NOCASE, SUMA DESC;" ;;
  distinct)
    query=""
    for column in $(printf '%s\nPRAGMA table_info(t);\n' "$open" |
      spatialite -batch -bail :memory: 2>/dev/null | cut -d'|' -f2); do
      [[ $column == PKUID ]] && continue
      [[ -n $query ]] && query+=" UNION ALL "
      query+="SELECT '$column', CAST(\"$column\" AS TEXT), COUNT(*) FROM t GROUP BY 2"
    done
    run "$query;"
    ;;
  *) echo "spatialite_task.sh: unknown task '$task'" >&2; exit 2 ;;
esac
