# The bench's data sets, made with random contents under a folder: sourced by the bench scripts.
#   make_bench_set ROOT SET [SEED]   makes ROOT/A (one 2 GiB file), ROOT/B (20,000 files of 4 KiB
#                                    in 200 folders) or ROOT/C (2,000 files of 1 KiB to 8 MiB,
#                                    their sizes fixed by SEED)
make_bench_set() {
    local root=$1 set=$2 seed=${3:-20240601}
    case $set in
    A)
        mkdir -p "$root/A"
        head -c $((2 * 1024 * 1024 * 1024)) /dev/urandom >"$root/A/big.bin"
        ;;
    B)
        python3 - "$root/B" <<'EOF'
import os, sys
root = sys.argv[1]
for d in range(200):
    folder = os.path.join(root, f"d{d:03}")
    os.makedirs(folder)
    for f in range(100):
        with open(os.path.join(folder, f"f{f:03}.dat"), "wb") as out:
            out.write(os.urandom(4096))
EOF
        ;;
    C)
        # Sizes log-uniform from 1 KiB to 8 MiB, fixed by the seed; 20 folders of 100 files.
        python3 - "$root/C" "$seed" <<'EOF'
import os, random, sys
root, seed = sys.argv[1], int(sys.argv[2])
rng = random.Random(seed)
for i in range(2000):
    size = min(int(1024 * 8192 ** rng.random()), 8 * 1024 * 1024)
    folder = os.path.join(root, f"d{i // 100:02}")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"f{i:04}.dat"), "wb") as out:
        out.write(os.urandom(size))
EOF
        ;;
    esac
}
