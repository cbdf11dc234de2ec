/* The shipped shared object is made of the folder libraries taken whole; this unit only
   gives the linker a source of its own. */
typedef int pvk_shared_object_unit;
