# Shared by the NTFS fixture scripts (sourced, not run): waiting for an ntfs-3g mount started
# in the background, and unmounting it so that every write is on the image. Expects MNT, WORK,
# NTFS_PID and die() from the script that sources it.

# Waits until ntfs-3g (NTFS_PID) has mounted IMG on MNT.
wait_mounted() {
  local img=$1 _
  for _ in $(seq 100); do
    mountpoint -q "$MNT" && return 0
    kill -0 "$NTFS_PID" 2>/dev/null || break
    sleep 0.1
  done
  cat "$WORK/ntfs-3g.log" >&2
  die "ntfs-3g did not mount $img"
}

# umount returns before the daemon has written everything; waiting for it is what counts.
unmount_img() {
  sync
  umount "$MNT"
  wait "$NTFS_PID" || die "ntfs-3g exited with an error"
  NTFS_PID=""
}
