tell application "Things3"
    set tagList to tags
    set output to ""
    repeat with t in tagList
        set tid to id of t
        set tname to name of t
        set tparent to ""
        try
            set tparent to id of parent tag of t
        end try
        set tcount to count of (to dos of t whose status is open)
        set output to output & tid & "|||" & tname & "|||" & tparent & "|||" & tcount & "~~~"
    end repeat
    return output
end tell
