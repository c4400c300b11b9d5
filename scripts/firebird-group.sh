# Sourced by run.sh and test.sh after scripts/install-deps.sh: a user who was just put in the group
# firebird gets it only at the next login; until then the script runs itself again under sg.
if [ "$(id -u)" -ne 0 ] && [ -z "${TALVIX_FIREBIRD_GROUP:-}" ] &&
   ! id -Gn | tr ' ' '\n' | grep -qx firebird &&
   id -Gn "$(id -un)" | tr ' ' '\n' | grep -qx firebird; then
  export TALVIX_FIREBIRD_GROUP=1
  exec sg firebird -c "$(printf '%q ' "$0" "$@")"
fi
