# Sourced after common.sh by the resume scripts: the resume records in the private store.
key='Software\DIRAREDI\RedoDori\Resume'
records() { "$REDODORI_REG" list "$key" 2>/dev/null | grep -E '^[0-9]+ = text:' || true; }
forget_records() { "$REDODORI_REG" delete-key "$key" >/dev/null 2>&1 || true; }
# Evaluates CONDITION every 50 ms until it holds, for 30 s at most.
wait_until() { for _ in $(seq 1 600); do eval "$1" && return 0; sleep 0.05; done; return 1; }
