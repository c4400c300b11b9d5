#!/usr/bin/env bash
# As root: shares the embedded Firebird engine's lock folder among the machine's users the way
# Debian's Firebird server package does (group firebird, /tmp/firebird 0770, made again at every
# boot), so that every process that opens a database file uses the same folder. With a user name,
# also puts that user in the group (effective from the user's next login, or through sg firebird).
#   scripts/firebird-local-access.sh [USER]
set -euo pipefail
user="${1:-}"
folder=/tmp/firebird

# The same account Debian's firebird3.0-server makes, so installing that package later keeps it.
getent group firebird >/dev/null ||
  adduser --system --quiet --home /var/lib/firebird --group --gecos "Firebird Database Administator" firebird

# The line of Debian's own /usr/lib/tmpfiles.d/firebird3.0.conf, for machines without that package.
mkdir -p /etc/tmpfiles.d
echo "d $folder 0770 firebird firebird -" > /etc/tmpfiles.d/autoiepcensad.conf

# An earlier run may have made the folder, or files in it, for one user alone.
install -d -o firebird -g firebird -m 0770 "$folder"
find "$folder" -mindepth 1 -maxdepth 1 \( ! -user root -o -perm /077 \) -exec chgrp firebird {} + \
  -exec chmod g+rw {} +

if [ -n "$user" ] && [ "$user" != root ] && ! id -Gn "$user" | tr ' ' '\n' | grep -qx firebird; then
  usermod -aG firebird "$user"
  echo "Added $user to the group firebird (the embedded database engine's lock folder $folder)."
fi
