# Registers the unixODBC driver the programs connect with, under the name
# "SQLite3 ODBC Driver", unless a driver of that name is registered already.
# Sourced by scripts/setup and copied into the Debian package's postinst, so
# the two cannot register it differently. POSIX sh.
register_sqlite_odbc_driver() {
  qb_driver_name="SQLite3 ODBC Driver"
  # Registering again would raise the entry's UsageCount, so look first.
  qb_drivers=$(odbcinst -q -d 2>/dev/null || true)
  if printf '%s\n' "$qb_drivers" | grep -qxF "[$qb_driver_name]"; then
    return 0
  fi
  qb_lib=$(dpkg -L libsqliteodbc 2>/dev/null | grep -E '/libsqlite3odbc\.so$' | head -n 1 || true)
  [ -n "$qb_lib" ] || qb_lib=$(find /usr/lib /usr/local/lib -name libsqlite3odbc.so 2>/dev/null | head -n 1 || true)
  if [ -z "$qb_lib" ]; then
    echo "libsqlite3odbc.so not found; is libsqliteodbc installed?" >&2
    return 1
  fi
  printf '[%s]\nDescription=SQLite3 ODBC Driver\nDriver=%s\nSetup=%s\nUsageCount=1\n' \
    "$qb_driver_name" "$qb_lib" "$qb_lib" | odbcinst -i -d -r >/dev/null
  echo "registered \"$qb_driver_name\" ($qb_lib)"
}
