// Mask paths: the host's path query and path data suites. Positions matter (see each comment).
#pragma once

#include "ae_basic_types.h"
#include "ae_params.h"

// Both are opaque to the effect: the host owns the outline and each segment's preparation.
typedef struct PF_PathOutline PF_PathOutline;
typedef PF_PathOutline* PF_PathOutlinePtr;
typedef struct PF_PathSegPrep PF_PathSegPrep;
typedef PF_PathSegPrep* PF_PathSegPrepPtr;

typedef struct PF_PathVertex {
  PF_FpLong x, y;
  PF_FpLong tan_in_x, tan_in_y;
  PF_FpLong tan_out_x, tan_out_y;
} PF_PathVertex;

typedef A_long PF_MaskMode;

#define kPFPathQuerySuite "PF Path Query Suite"
#define kPFPathQuerySuiteVersion1 1

typedef struct PF_PathQuerySuite1 {
  PF_Err (*PF_NumPaths)(PF_ProgPtr effect_ref, A_long* num_pathsPL);
  PF_Err (*PF_PathInfo)(PF_ProgPtr effect_ref, A_long indexL, PF_PathID* unique_idP);
  // Third function.
  PF_Err (*PF_CheckoutPath)(PF_ProgPtr effect_ref, PF_PathID unique_id, A_long what_time,
                            A_long time_step, A_u_long time_scale, PF_PathOutlinePtr* pathPP);
  // Fourth function.
  PF_Err (*PF_CheckinPath)(PF_ProgPtr effect_ref, PF_PathID unique_id, PF_Boolean changedB,
                           PF_PathOutlinePtr pathP);
} PF_PathQuerySuite1;

#define kPFPathDataSuite "PF Path Data Suite"
#define kPFPathDataSuiteVersion1 1

typedef struct PF_PathDataSuite1 {
  PF_Err (*PF_PathIsOpen)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP, PF_Boolean* openPB);
  // Second function.
  PF_Err (*PF_PathNumSegments)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP,
                               A_long* num_segmentsPL);
  PF_Err (*PF_PathVertexInfo)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP, A_long which_pointL,
                              PF_PathVertex* vertexP);
  // Fourth function.
  PF_Err (*PF_PathPrepareSegLength)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP,
                                    A_long which_segL, A_long frequencyL,
                                    PF_PathSegPrepPtr* lengthPrepPP);
  // Fifth function.
  PF_Err (*PF_PathGetSegLength)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP, A_long which_segL,
                                PF_PathSegPrepPtr* lengthPrepP0, PF_FpLong* lengthPF);
  PF_Err (*PF_PathEvalSegLength)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP,
                                 PF_PathSegPrepPtr* lengthPrepPP0, A_long which_segL,
                                 PF_FpLong lengthF, PF_FpLong* x, PF_FpLong* y);
  // Seventh function: point and first derivative at a length into a segment.
  PF_Err (*PF_PathEvalSegLengthDeriv1)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP,
                                       PF_PathSegPrepPtr* lengthPrepPP0, A_long which_segL,
                                       PF_FpLong lengthF, PF_FpLong* x, PF_FpLong* y,
                                       PF_FpLong* deriv1x, PF_FpLong* deriv1y);
  // Eighth function.
  PF_Err (*PF_PathCleanupSegLength)(PF_ProgPtr effect_ref, PF_PathOutlinePtr pathP,
                                    A_long which_segL, PF_PathSegPrepPtr* lengthPrepPP);
  PF_Err (*PF_PathIsInverted)(PF_ProgPtr effect_ref, PF_PathID unique_id, PF_Boolean* invertedB);
  PF_Err (*PF_PathGetMaskMode)(PF_ProgPtr effect_ref, PF_PathID unique_id, PF_MaskMode* modeP);
  PF_Err (*PF_PathGetName)(PF_ProgPtr effect_ref, PF_PathID unique_id, A_char* nameZ);
} PF_PathDataSuite1;
