set L to {1, "a", {2, 3}, {name: "x", n: 2}}
set r to item -1 of L
set s to items 2 thru 3 of L & {n of r, name of r}
if s contains {"a"} and (count of L) ≥ 4 then
    return s as list
end if
