#!/bin/sh
# An experiment cut into slices that run as the tasks of a Slurm job array, on a one-node cluster
# this script starts (munged, slurmctld, slurmd, all files in one temporary directory), merged,
# gives the bytes of the whole run in each format. Run as root; the daemons it started are
# stopped and its files removed however it ends. A missing tool or a cluster that does not come
# up fails the test, with the package to install or the daemons' last lines; another user than
# root skips it.
# Usage: slurm_slices.sh TARVO_REP MODEL
set -eu
rep=$(realpath "$1")
model=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
job=$here/../../examples/slices.sbatch
PATH=$PATH:/usr/sbin:/sbin

falhar() {
  echo "FAIL: $1"
  for log in "$dir"/*.log; do
    [ -f "$log" ] && echo "== last lines of $log" && tail -n 15 "$log"
  done
  exit 1
}
for p in munged:munge mungekey:munge slurmctld:slurm-wlm slurmd:slurm-wlm sbatch:slurm-wlm \
  sinfo:slurm-wlm scancel:slurm-wlm; do
  command -v ${p%:*} >/dev/null || { dir=; falhar "${p%:*} is not installed (apt-get install ${p#*:})"; }
done
# Not a missing tool: slurmd starts its jobs as root, which another user cannot give it.
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: the one-node cluster needs root (run the tests as root to include it)"
  exit 77
fi

dir=$(mktemp -d)
chmod 755 "$dir"  # munged wants its socket reachable by all
export SLURM_CONF="$dir/slurm.conf"
# Jobs cancelled and daemons stopped before their directory goes; each wait is bounded.
stop() {
  [ ! -f "$dir/slurmctld.pid" ] || scancel --quiet --user=root 2>/dev/null || true
  for d in slurmd slurmctld munged; do
    [ -f "$dir/$d.pid" ] || continue
    pid=$(cat "$dir/$d.pid")
    kill "$pid" 2>/dev/null || continue
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.2; i=$((i + 1)); done
  done
  rm -rf "$dir"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
cd "$dir"

# The key Debian's munge package makes on install, made here if it is missing. munged runs as
# root with that key, owned by the munge user, hence --force.
[ -f /etc/munge/munge.key ] || mungekey --create
munged --force --socket="$dir/munge.socket" --pid-file="$dir/munged.pid" \
  --log-file="$dir/munged.log" --seed-file="$dir/munged.seed" || falhar "munged did not start"

# Ports of this run's own, so that another run on the machine does not meet it.
port=$((20000 + $$ % 10000 * 2))
host=$(hostname -s)
cat >slurm.conf <<CONF
ClusterName=tarvo
SlurmctldHost=$host(127.0.0.1)
SlurmUser=root
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthInfo=socket=$dir/munge.socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MailProg=/bin/true
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc)
PartitionName=main Nodes=ALL Default=YES
CONF
mkdir state spool
slurmctld || falhar "slurmctld did not start"
slurmd || falhar "slurmd did not start"
i=0
until [ "$(sinfo --noheader --format=%T 2>/dev/null)" = idle ]; do
  [ $i -lt 60 ] || falhar "the node was not idle after 30 s: $(sinfo 2>&1)"
  sleep 0.5
  i=$((i + 1))
done

. "$here/plan.sh"
whole_runs
if ! timeout 60 sbatch --array=1-3 --wait "$job" "$rep" "$model"; then
  echo "FAIL: the job array did not succeed"
  tail -n 20 slurm-*.out slurmd.log
  exit 1
fi
merges_match slice-*.json
[ "$falhas" -eq 0 ]
