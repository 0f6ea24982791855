tell application "Things3"
    set name of tag "Home" to "House"
    set parent tag of tag "House" to tag "Work"
    set parent tag of tag "Garden" to missing value
end tell