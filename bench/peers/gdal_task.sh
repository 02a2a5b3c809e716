#!/bin/bash
# One benchmark task done with GDAL's ogr2ogr / ogrinfo and the SQLite dialect.
# Usage: gdal_task.sh read|filter|sort|distinct TABLE.dbf LIVE
# GDAL reads a .dbf through its shapefile driver, which does not read memo
# files: OBS comes out as the memo block numbers, so its work is a little less
# than the others'. The tables carry no code page mark; SHAPE_ENCODING gives it.
# The driver counts deleted records as features, and the SQLite dialect then
# fails ("SQL logic error") at the end of any query that scans the whole table;
# LIVE, the count of records not deleted, caps the scan so that it succeeds
# (a sorted result needs the cap on the outer query as well).
set -euo pipefail
task=${1:?task} table=${2:?table} live=${3:?live record count}
layer=$(basename "$table" .dbf)
from="(SELECT * FROM \"$layer\" LIMIT $live)"
export SHAPE_ENCODING=CP1250
sql() { ogrinfo -q -ro -dialect SQLite -sql "$1" "$table" >/dev/null; }
columns() { ogrinfo -so -ro "$table" "$layer" | sed -n 's/^\([A-Z_0-9]*\): .*/\1/p'; }
case $task in
  read) ogr2ogr -f CSV /vsistdout/ "$table" "$layer" >/dev/null ;;
  filter) sql "SELECT * FROM $from WHERE ORAS = 'Cluj' COLLATE NOCASE AND SUMA > 100" ;;
  sort)
    ogr2ogr -f CSV /vsistdout/ -dialect SQLite \
      -sql "SELECT * FROM $from ORDER BY ORAS COLLATE NOCASE, SUMA DESC LIMIT $live" "$table" >/dev/null
    ;;
  distinct)
    # One GROUP BY per column, as one statement.
    query=""
    for column in $(columns); do
      [[ -n $query ]] && query+=" UNION ALL "
      query+="SELECT '$column' AS col, CAST(\"$column\" AS TEXT) AS val, COUNT(*) AS n FROM $from GROUP BY 2"
    done
    sql "$query"
    ;;
  *) echo "gdal_task.sh: unknown task '$task'" >&2; exit 2 ;;
esac
