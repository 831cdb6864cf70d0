# Counts for scripts that run several test steps: `passed` and `failed`, which
# tally LOG adds to from a step's log. Source it; it sets both to 0.
passed=0
failed=0

# Takes the log's last summary: ctest's, or a "N passed, M failed" line of a
# script of ours. A step that printed none failed, unless it found no tests.
tally() {
    local log=$1 line
    line=$(grep -E '(tests passed, [0-9]+ tests? failed out of [0-9]+|^[0-9]+ passed, [0-9]+ failed$)' \
        "$log" | tail -n1)
    if [ -z "$line" ]; then
        grep -q "No tests were found" "$log" && return
        failed=$((failed + 1))
        return
    fi
    if [[ $line =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
        passed=$((passed + BASH_REMATCH[1]))
        failed=$((failed + BASH_REMATCH[2]))
        return
    fi
    [[ $line =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[1]))
}
