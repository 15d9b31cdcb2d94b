# shellcheck shell=bash
# A script's usage text, kept in one place: its header comment, from the line "# Usage:" to the
# next empty comment line, printed without the comment signs. Sourced, bash 5.
usage_text() {  # usage_text SCRIPT
  sed -n '/^# Usage:$/,/^#$/{/^#$/d; s/^# \{0,1\}//; p}' "$1"
}
